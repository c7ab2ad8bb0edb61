#include "tools/fir/FirMessages.h"

#include <cstring>

#include "platform/session/wzsDatabuf.h"
#include "protocol/FsrMessages.h"

namespace fir {
namespace {

// The record when the message carries one as long as `Record`; the session decoded it to that layout.
template <typename Record>
const Record* recordIn(const wzsDatabuf_v2& buffer) {
    const char* data = buffer.getDataBuffer();
    if (data == nullptr || buffer.getValidLen() < sizeof(Record)) {
        return nullptr;
    }
    return reinterpret_cast<const Record*>(data);
}

// A copy of the record and of the one text it points at, the copy's pointer cleared.
template <typename Copy, typename Record>
void copyWithText(std::optional<Copy>& out, const wzsDatabuf_v2& buffer, char* Record::*text) {
    if (const Record* r = recordIn<Record>(buffer)) {
        out = Copy{*r, FirText::of(r->*text)};
        out->record.*text = nullptr;
    }
}

}  // namespace

FirMessage copyOut(unsigned long code, const wzsDatabuf_v2& buffer) {
    FirMessage m;
    m.code = code;
    switch (code) {
        case FSR_MSG_RESTORE_ITEM:
            copyWithText(m.item, buffer, &FSRRestoreItem::name);
            return m;
        case FSR_MSG_PROGRESS_REPORT_5_9:
            if (const auto* r = recordIn<FSRProgressReport_5_9>(buffer)) {
                m.progress = FirProgress{};
                m.progress->record.progress = *r;
                m.progress->subclientName = FirText::of(r->subclientName);
                m.progress->record.progress.subclientName = nullptr;
            }
            return m;
        case FSR_MSG_PROGRESS_REPORT_11_14:
            if (const auto* r = recordIn<FSRProgressReport_11_14>(buffer)) {
                m.progress = FirProgress{*r, true, FirText::of(r->progress.subclientName)};
                m.progress->record.progress.subclientName = nullptr;
            }
            return m;
        case FSR_MSG_ERROR_REPORT:
            copyWithText(m.errorReport, buffer, &FSRErrorReport::name);
            return m;
        case FSR_MSG_IMG_EXTENT_RESTORE_STATUS:
            copyWithText(m.extentStatus, buffer, &FSRImgExtentRestoreStatus::name);
            return m;
        case FSR_MSG_SRC_PATH:
            copyWithText(m.srcPath, buffer, &FSRSrcPath::path);
            return m;
        case FSR_MSG_META_DATA_FOLDER:
            copyWithText(m.metaDataFolder, buffer, &FSRMetaDataFolder::folderPath);
            return m;
        default:
            break;
    }
    const char* data = buffer.getDataBuffer();
    if (data != nullptr) {
        m.bytes.assign(data, buffer.getValidLen());
    }
    return m;
}

}  // namespace fir
