// The rules, each group reading the blocks it rests on and adding what it finds.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "diagnosis/findings.h"

class CFindingList {
public:
    explicit CFindingList(const CReport& report) : m_report(report) {}

    // Adds a finding unless one with the same id is already there. format is a GBK
    // printf format whose arguments are plain strings.
    void Add(const char* id, ESeverity severity, const CStepRecord& record, const char* format,
             std::initializer_list<std::string> args = {});
    bool Has(const std::string& id) const;
    const CReport& Report() const { return m_report; }
    std::vector<CFinding> Take() { return std::move(m_findings); }

private:
    const CReport& m_report;
    std::vector<CFinding> m_findings;
};

// Evidence quoted from the report: its first line, at most maxBytes, never cutting a
// double-byte character.
// printf-like filling of a GBK sentence with plain strings.
std::string FillIn(std::string_view format, std::initializer_list<std::string> args);
std::string Clip(std::string_view text, size_t maxBytes = 80);
std::string Number(double value);

void AddSiteFindings(CFindingList* list);
void AddDomainFindings(CFindingList* list);
void AddPathFindings(CFindingList* list);
void AddDnsFindings(CFindingList* list);
void AddEnvironmentFindings(CFindingList* list);
