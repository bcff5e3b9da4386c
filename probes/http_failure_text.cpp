#include "probes/http_failure_text.h"

CString DescribeHttpFailure(const CHttpOutcome& outcome) {
    switch (outcome.failure) {
        case EHttpFailure::kNone:
            return CString();
        case EHttpFailure::kNameNotResolved:
            return "域名无法解析";
        case EHttpFailure::kRefused:
            return "连接被拒绝";
        case EHttpFailure::kCannotConnect:
            return "无法建立连接";
        case EHttpFailure::kTimedOut:
            return "连接超时";
        case EHttpFailure::kConnectionLost:
            return "连接被中断";
        case EHttpFailure::kInvalidAddress:
            return "地址无效";
        case EHttpFailure::kStopped:
            return "检测已停止";
        case EHttpFailure::kTooManyRedirects:
            return "重定向次数过多";
        case EHttpFailure::kHeadersTooLong:
            return "应答头过长";
        case EHttpFailure::kOther:
            break;
    }
    CString text;
    text.Format("网络错误（错误码%ld）", outcome.code);
    return text;
}
