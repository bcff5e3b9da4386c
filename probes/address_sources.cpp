#include "probes/address_sources.h"

#include <functional>

#include "platform/side_by_side.h"
#include "probes/address_text.h"
#include "probes/http_failure_text.h"

namespace {

// The start of the body, enough for any of the services' one-line answers.
CString ReadBody(CHttpPage& page) {
    CString body;
    CString line;
    while (page.ReadLine(&line)) body += line + "\n";
    return body;
}

CSourceAnswer AskOne(const CAddressSource& source, const CHttpLimits& limits, CStopSignal* stop) {
    CSourceAnswer answer;
    answer.name = source.name;
    CHttpPage page(stop, limits);
    if (!page.Open(source.url)) {
        answer.failure = DescribeHttpFailureAfterRedirects(page.Outcome(), source.url);
        return answer;
    }
    const CString body = ReadBody(page);
    if (page.Outcome().failure != EHttpFailure::kNone) {
        answer.failure = DescribeHttpFailureAfterRedirects(page.Outcome(), source.url);
    } else if (page.Status() != 200) {
        answer.failure = "返回的状态不是200：" +
                         (page.StatusLine().IsEmpty() ? CString("没有状态行") : page.StatusLine());
    } else {
        answer.address = AddressFromAnswer(source.format, body);
        if (answer.address.IsEmpty()) answer.failure = "回答中没有IP地址";
    }
    return answer;
}

}  // namespace

std::vector<CSourceAnswer> AskAddressSources(const std::vector<CAddressSource>& sources,
                                             const CHttpLimits& limits, CStopSignal* stop) {
    std::vector<CSourceAnswer> answers(sources.size());
    std::vector<std::function<void()>> calls;
    for (size_t i = 0; i < sources.size(); ++i)
        calls.push_back([&, i] { answers[i] = AskOne(sources[i], limits, stop); });
    // Every exchange ends within its own limits.
    RunSideBySide(calls);
    return answers;
}

CAgreedAddress AgreedAddress(const std::vector<CSourceAnswer>& answers) {
    for (size_t i = 0; i < answers.size(); ++i) {
        if (answers[i].address.IsEmpty()) continue;
        CAgreedAddress agreed{answers[i].address, answers[i].name};
        int count = 1;
        for (size_t j = i + 1; j < answers.size(); ++j) {
            if (answers[j].address != agreed.address) continue;
            agreed.names += "、" + answers[j].name;
            ++count;
        }
        if (count >= 2) return agreed;
    }
    return CAgreedAddress();
}

CString CrossCheckLine(const CString& pageAddress, const std::vector<CSourceAnswer>& answers) {
    const CAgreedAddress agreed = AgreedAddress(answers);
    if (agreed.address.IsEmpty() || agreed.address == pageAddress) return CString();
    const CString found =
        "（其他来源核对：本机公网IP为" + agreed.address + "（来源：" + agreed.names + "）";
    return found + (pageAddress.IsEmpty() ? "）\r\n" : "，与上面的结果不一致）\r\n");
}
