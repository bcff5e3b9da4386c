// Reading a step's facts back from its body: the readers of each step kind, for the
// Windows tools in English and Chinese wording, the Linux stand-ins and the program's
// own step texts. A body a reader does not recognise leaves the facts empty.
#pragma once

#include <string>
#include <string_view>

#include "model/report_model.h"

// Fills the facts of record->step from record->text, and record->ok from them.
void ReadStepFacts(CStepRecord* record);
// A record of the kind holding text and the facts read from it.
CStepRecord ReadStepRecord(EReportStep step, std::string_view text);

// The readers of the program's own step texts (own_step_facts.cpp).
void ReadWebFacts(std::string_view text, CWebFacts* facts);
void ReadDnsFacts(std::string_view text, CDnsFacts* facts);
void ReadHttpsFacts(std::string_view text, CHttpsFacts* facts);
void ReadIpv6Facts(std::string_view text, CIpv6Facts* facts);
void ReadPathFacts(std::string_view text, CPathFacts* facts);
void ReadEgressFacts(std::string_view text, CEgressFacts* facts);
void ReadEnvironmentFacts(std::string_view text, CEnvironmentFacts* facts);
void ReadPublicIpFacts(std::string_view text, CPublicIpFacts* facts);

// The verdict ids of the lines of text that are verdicts of the table, in order.
std::vector<std::string> VerdictsOfText(std::string_view text);
// "2027-06-01" for a date, "" when invalid.
std::string DateFact(int year, int month, int day);
