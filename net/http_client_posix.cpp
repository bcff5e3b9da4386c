// The exchanges run in this process, through libcurl (platform/http_transport.h).
#include <memory>

#include "net/http_backend.h"
#include "net/http_client.h"

struct CHttpPage::Impl {
    Impl(CStopSignal* stop, const CHttpLimits& limits)
        : exchange(stop, limits, HttpRules(), CUrlNotice()) {}
    CPageExchange exchange;
};

CHttpPage::CHttpPage(CStopSignal* stop, const CHttpLimits& limits)
    : m_impl(new Impl(stop, limits)), m_maxBody(limits.maxBodyBytes) {}

CHttpPage::~CHttpPage() = default;

bool CHttpPage::OpenChecked(const CString& url, const CString& accept) {
    CPageExchange& exchange = m_impl->exchange;
    const bool opened = exchange.Open(url, accept);
    m_outcome = exchange.Outcome();
    m_status = exchange.Status();
    m_statusLine = exchange.StatusLine();
    return opened;
}

int CHttpPage::ReadSome(char* buffer, int capacity) {
    CPageExchange& exchange = m_impl->exchange;
    const int got = exchange.ReadSome(buffer, capacity);
    if (got < 0) m_outcome = exchange.Outcome();
    return got;
}

CHttpHeaderAnswer FetchPlainRootHeaders(const CString& host, int port, CStopSignal* stop,
                                        const CHttpLimits& limits) {
    return ExchangeRootHeaders({host, port, RootUrl("http", host, port)}, stop, limits, HttpRules(),
                               CUrlNotice());
}

CHttpsAnswer FetchPlainHttpsRoot(const CString& host, int port, CStopSignal* stop,
                                 const CHttpLimits& limits) {
    return ExchangeHttpsRoot({host, port, RootUrl("https", host, port)}, stop, limits, HttpRules(),
                             CUrlNotice());
}

CTimedRootAnswer TimePlainSiteRoot(const CTimedRootRequest& request, CStopSignal* stop,
                                   const CHttpLimits& limits) {
    return ExchangeTimedRoot(request, stop, limits, HttpRules());
}

CHttpPostAnswer SendPlainPost(const CHttpPost& post, CStopSignal* stop, const CHttpLimits& limits) {
    return ExchangePost(post, stop, limits, HttpRules());
}
