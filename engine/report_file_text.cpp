#include "engine/report_file_text.h"

namespace {

const char* StepWords(ESaveStep step) {
    switch (step) {
        case ESaveStep::kAccessPath:
            return "无法访问目标路径";
        case ESaveStep::kCreateInFolder:
            return "无法在目标文件夹中创建文件";
        case ESaveStep::kOpen:
            return "无法打开目标文件";
        case ESaveStep::kNoReader:
            return "目标是管道，但没有程序在读取";
        case ESaveStep::kWriteInPlace:
            return "写入文件失败，原有内容可能已损坏";
        case ESaveStep::kReplace:
            return "无法替换目标文件";
        default:
            return "写入文件失败";
    }
}

const char* CauseWords(EPlatformError kind) {
    switch (kind) {
        case EPlatformError::kNotFound:
            return "找不到文件或文件夹";
        case EPlatformError::kBadName:
            return "文件名过长或无效";
        case EPlatformError::kAccessDenied:
            return "拒绝访问";
        case EPlatformError::kDiskFull:
            return "磁盘空间不足";
        case EPlatformError::kTimedOut:
            return "操作超时";
        case EPlatformError::kConnectionLost:
            return "读取方已关闭";
        case EPlatformError::kNoResources:
            return "系统资源不足";
        default:
            return "系统错误";
    }
}

CString RefusalText(ESaveRefusal refusal) {
    if (refusal == ESaveRefusal::kReadOnly) return "目标文件是只读的，未写入";
    const char* kind = refusal == ESaveRefusal::kDirectory     ? "目录"
                       : refusal == ESaveRefusal::kBlockDevice ? "块设备"
                       : refusal == ESaveRefusal::kSocket      ? "套接字"
                                                               : "特殊文件";
    CString text;
    text.Format("目标是%s，不是普通文件，未写入", kind);
    return text;
}

}  // namespace

CString DescribeSaveFailure(const CSaveFailure& failure) {
    CString text;
    switch (failure.step) {
        case ESaveStep::kNone:
            return text;
        case ESaveStep::kBadName:
            return "文件名无效：不是UTF-8文本";
        case ESaveStep::kRefused:
            return RefusalText(failure.refusal);
        case ESaveStep::kStalled:
            text.Format("写入超时：读取方%d秒内没有接收数据", kSaveStallLimitMs / 1000);
            return text;
        default:
            break;
    }
    text.Format("%s：%s", StepWords(failure.step), CauseWords(failure.error.kind));
    if (failure.error.code != 0) {
        CString code;
        code.Format("（错误代码 %ld）", failure.error.code);
        text += code;
    }
    return text;
}

bool SaveReportFile(const std::string& path, const CString& bytes, CString* error) {
    CSaveFailure failure;
    if (WriteFileReplacing(path, bytes, &failure)) return true;
    *error = DescribeSaveFailure(failure);
    return false;
}
