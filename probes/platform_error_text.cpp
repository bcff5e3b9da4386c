#include "probes/platform_error_text.h"

#include "model/report_vocabulary.h"

CString DescribePlatformError(const CPlatformError& error) {
    switch (error.kind) {
        case EPlatformError::kNone:
            return CString();
        case EPlatformError::kRefused:
            return "连接被拒绝";
        case EPlatformError::kTimedOut:
            return CString(VerdictText("failure-timed-out"));
        case EPlatformError::kNetworkUnreachable:
        case EPlatformError::kHostUnreachable:
        case EPlatformError::kNetworkDown:
            return "网络不可达";
        case EPlatformError::kConnectionLost:
            return CString(VerdictText("failure-connection-lost"));
        case EPlatformError::kNotFound:
            return "找不到";
        case EPlatformError::kBadName:
            return "名称无效";
        case EPlatformError::kAccessDenied:
            return "拒绝访问";
        case EPlatformError::kDiskFull:
            return "磁盘已满";
        case EPlatformError::kNoResources:
            return "系统资源不足";
        case EPlatformError::kStopped:
            return "检测已停止";
        case EPlatformError::kOther:
            break;
    }
    CString text;
    text.Format("系统错误（错误码%ld）", error.code);
    return text;
}

CString DescribeDnsFailure(EPlatformError failure) {
    switch (failure) {
        case EPlatformError::kNotFound:
            return "域名不存在";
        case EPlatformError::kTimedOut:
            return "查询超时";
        case EPlatformError::kStopped:
            return "检测已停止";
        default:
            return "查询失败";
    }
}
