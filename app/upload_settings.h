// The support desk's collector, as the provider configures it in tollvane.ini beside the
// program:
//
//     [upload]
//     url=https://support.example.net
//     redact=0        (optional: send reports as they are, without the preview)
#pragma once

#include <string>

struct CUploadSettings {
    std::string url;     // empty: no collector, and no upload button
    bool redact = true;  // uploads are redacted unless the provider turns it off
};

// The settings in the file beside the program; none when it is missing or names no
// collector.
CUploadSettings ReadUploadSettings();
