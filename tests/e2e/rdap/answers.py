"""Writes the JSON files nginx serves: the registry's answers under www/registry (the
shipped com base https://rdap.verisign.com/com/v1/) and the registrar's under
www/registrar. A name without a file gets nginx's 404."""
import json, os, sys

work = sys.argv[1]

def write(path, answer):
    path = os.path.join(work, "www", path)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as out:
        json.dump(answer, out, ensure_ascii=False)

def registry(name, related):
    return {
        "objectClassName": "domain", "ldhName": name.upper(),
        "events": [{"eventAction": "registration", "eventDate": "1995-08-14T04:00:00Z"},
                   {"eventAction": "expiration", "eventDate": "2026-08-13T04:00:00Z"}],
        "status": ["client transfer prohibited"],
        "nameservers": [{"objectClassName": "nameserver", "ldhName": "A.IANA-SERVERS.NET"}],
        "links": [{"rel": "self", "href": "https://rdap.verisign.com/com/v1/domain/" + name,
                   "type": "application/rdap+json"},
                  {"rel": "related", "href": related, "type": "application/rdap+json"}],
    }

registrar = {
    "objectClassName": "domain", "ldhName": "example.com",
    "events": [{"eventAction": "last changed", "eventDate": "2025-08-14T07:01:34Z"}],
    "status": ["client delete prohibited", "client transfer prohibited"],
    "entities": [{
        "objectClassName": "entity", "roles": ["registrar"],
        "vcardArray": ["vcard", [["version", {}, "text", "4.0"],
                                 ["fn", {}, "text", "示例注册商有限公司 Example Registrar"]]],
        "entities": [{"objectClassName": "entity", "roles": ["abuse"],
                      "vcardArray": ["vcard", [["version", {}, "text", "4.0"],
                                               ["email", {}, "text", "abuse@registrar.test"],
                                               ["tel", {"type": "voice"}, "uri", "tel:+86.1012345678"]]]}],
    }],
}

write("registry/com/v1/domain/example.com",
      registry("example.com", "https://rdap.registrar.test/domain/example.com"))
write("registrar/domain/example.com", registrar)
# A registrar link that leads to a peer sending malformed JSON.
write("registry/com/v1/domain/badregistrar.com",
      registry("badregistrar.com", "https://rdap.publicinterestregistry.org/domain/badregistrar.com"))
# Links a hostile registry gives: straight to an internal service, and to a registrar
# that redirects there. Neither may be fetched; the service's answer must not be reported.
write("registry/com/v1/domain/internallink.com",
      registry("internallink.com", "https://internal.test/domain/internallink.com"))
write("registry/com/v1/domain/redirected.com",
      registry("redirected.com", "https://rdap.registrar.test/redirect/redirected.com"))
for name in ("internallink.com", "redirected.com"):
    internal = dict(registrar, ldhName=name)
    internal["entities"] = [{"roles": ["registrar"], "vcardArray": ["vcard", [["fn", {}, "text", "INTERNAL SECRET"]]]}]
    write("internal/domain/" + name, internal)
# 1 MiB of "[" less a little, so it is read whole and parsed.
os.makedirs(os.path.join(work, "www", "registry/com/v1/domain"), exist_ok=True)
with open(os.path.join(work, "www", "registry/com/v1/domain/deep.com"), "w") as out:
    out.write("[" * ((1 << 20) - 64))
