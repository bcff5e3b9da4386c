// Every time limit of a check run, in one place. A run whose every peer and every DNS
// server stays silent is ended by these limits alone; tests/run_limits_test.cpp adds
// them up step by step and holds the sum under six minutes.
#pragma once

// Waits are cut into slices this long so a raised stop signal is noticed promptly.
constexpr int kWaitSliceMs = 100;

// No name lookup of ours waits longer than this for the DNS servers.
constexpr int kNameLookupLimitMs = 10 * 1000;

// One whois query: the connect; the longest silence between two pieces of an answer
// (and the longest wait for a send); the whole query, lookup included.
constexpr int kWhoisConnectLimitMs = 10 * 1000;
constexpr int kWhoisSilenceLimitMs = 15 * 1000;
constexpr int kWhoisQueryLimitMs = 60 * 1000;

// One HTTP exchange (the public address page, the web site): establishing the
// connection; sending or waiting for the next bytes; the whole exchange, whatever
// happens inside it. The web site step's name lookup counts against its total.
constexpr int kHttpConnectLimitMs = 15 * 1000;
constexpr int kHttpSilenceLimitMs = 20 * 1000;
constexpr int kHttpTotalLimitMs = 30 * 1000;
// On Windows each exchange runs in a process of its own, which the caller ends once it
// has waited this long past the exchange's total for the answer.
constexpr int kHttpChildGraceMs = 2 * 1000;
// That process ends itself, its answer too large, once its memory has grown by this much
// over what it held at its start; it looks this often.
constexpr long long kHttpChildMemoryGrowthLimitBytes = 24LL << 20;
constexpr int kHttpChildMemoryPollMs = 20;

// Step 2 asks independent address services side by side once the page has answered;
// each exchange has this limit, and all of them together, the Windows exchange process's
// grace included, add at most kAddressCheckLimitMs to the step.
constexpr int kAddressSourceExchangeMs = 3 * 1000;
constexpr int kAddressCheckLimitMs = kAddressSourceExchangeMs + kHttpChildGraceMs;

// The optional checks after the ninth step: every DNS query of the DNS step together
// (each also within the name lookup limit); one TCP connect to an IPv6 address, and all
// of the IPv6 step, its AAAA query included. The HTTPS step has the HTTP limits.
constexpr int kDnsStepLimitMs = 20 * 1000;
constexpr int kIpv6ConnectLimitMs = 5 * 1000;
constexpr int kIpv6StepLimitMs = 40 * 1000;
// The egress step first lists the adapters (whether the machine has a public IPv6
// address), then asks everything side by side: the address services (as step 2 does)
// and every DNS query, each of those within kEgressDnsQueryLimitMs.
constexpr int kEgressAdapterReadLimitMs = 1000;
constexpr int kEgressDnsQueryLimitMs = 3 * 1000;
constexpr int kEgressStepLimitMs =
    kEgressAdapterReadLimitMs +
    (kAddressCheckLimitMs > kEgressDnsQueryLimitMs ? kAddressCheckLimitMs : kEgressDnsQueryLimitMs);
// The local environment step: reading the system's settings, the hosts file and the
// adapters, looking the site up and asking the routing table, one after another. Each
// read is within kLocalReadLimitMs and within its share of what the step has left.
constexpr int kLocalReadLimitMs = 3 * 1000;
constexpr int kLocalEnvironmentStepLimitMs = 4 * kLocalReadLimitMs;
// The site timing step: each family's address lookup; each timed request; the whole
// step. A silent site costs one request per address and family (the other two are not
// made once one has timed out); a slow one is cut off by the step's own limit, which
// also holds the Windows exchange process's grace of each request.
constexpr int kSiteTimingLookupLimitMs = 3 * 1000;
constexpr int kSiteTimingRequestLimitMs = 4 * 1000;
constexpr int kSiteTimingStepLimitMs = 20 * 1000;
// All of them together: set aside out of the run's budget when a run includes them.
constexpr int kExtendedStepsLimitMs = kDnsStepLimitMs + kHttpTotalLimitMs + kIpv6StepLimitMs +
                                      kEgressStepLimitMs + kLocalEnvironmentStepLimitMs +
                                      kSiteTimingStepLimitMs;

// The path statistics step: one round of echo probes a second, 30 rounds unless the run
// asks for 10 to 300. The site's addresses are looked up first, within the lookup limit;
// the step ends within its rounds and the slack, which holds the lookups and the last
// round's wait. It is set aside out of the run's budget with the three above.
constexpr int kPathRoundsDefault = 30;
constexpr int kPathRoundsLeast = 10;
constexpr int kPathRoundsMost = 300;
constexpr int kPathIntervalMs = 1000;
constexpr int kPathLookupLimitMs = 4 * 1000;
constexpr int kPathSlackMs = 5 * 1000;
constexpr int PathStepLimitMs(int rounds) { return rounds * kPathIntervalMs + kPathSlackMs; }

// The commands, in seconds: a command still running at its limit is ended with all it
// started.
constexpr int kIpconfigLimitSeconds = 20;
constexpr int kPspingLimitSeconds = 40;
constexpr int kPingLimitSeconds = 30;
// A route that ends behind a firewall dropping probes costs about 12 s per silent hop.
// The run's budget below may leave tracert less.
constexpr int kTracertLimitSeconds = 180;

// How long a command's output may still arrive once the command itself has exited.
constexpr int kChildExitGraceMs = 2000;

// The whole run. Tracert, the one step whose own limit is long, gets no more than what
// is left of it once the web site step's limit is set aside, so the run ends within it
// even when every earlier step ran to its limit.
constexpr int kRunBudgetMs = 340 * 1000;
// The least tracert is given when earlier steps have used up the budget.
constexpr int kTracertLeastSeconds = 1;

// Saving: a reader of a FIFO or terminal that takes nothing for this long fails the save.
constexpr int kSaveStallLimitMs = 10 * 1000;
