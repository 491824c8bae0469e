#include "platform/HostRecord.h"

namespace tavrin {

namespace {

void PutLe(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint64_t GetLe(const std::string& in, size_t at, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<uint64_t>(static_cast<uint8_t>(in[at + i])) << (8 * i);
    return value;
}

}  // namespace

std::string EncodeHostRecord(const HostRecord& record) {
    std::string out;
    out.reserve(kHostRecordHeader + record.data.size());
    PutLe(out, record.message, 4);
    PutLe(out, static_cast<uint64_t>(record.wParam), 8);
    PutLe(out, static_cast<uint64_t>(record.lParam), 8);
    PutLe(out, record.data.size(), 4);
    out += record.data;
    return out;
}

int CHostRecordDecoder::Feed(const uint8_t* bytes, size_t count) {
    if (broken_) return -1;
    // Drop what has been handed out before growing the buffer.
    if (readPos_ > 0) {
        pending_.erase(0, readPos_);
        readPos_ = 0;
    }
    pending_.append(reinterpret_cast<const char*>(bytes), count);
    return 0;
}

bool CHostRecordDecoder::Next(HostRecord& out) {
    if (broken_ || pending_.size() - readPos_ < kHostRecordHeader) return false;
    const uint64_t length = GetLe(pending_, readPos_ + 20, 4);
    if (length > kHostRecordMaxData) {
        broken_ = true;
        pending_.clear();
        readPos_ = 0;
        return false;
    }
    if (pending_.size() - readPos_ < kHostRecordHeader + length) return false;
    out.message = static_cast<uint32_t>(GetLe(pending_, readPos_, 4));
    out.wParam = static_cast<int64_t>(GetLe(pending_, readPos_ + 4, 8));
    out.lParam = static_cast<int64_t>(GetLe(pending_, readPos_ + 12, 8));
    out.data = pending_.substr(readPos_ + kHostRecordHeader, length);
    readPos_ += kHostRecordHeader + length;
    return true;
}

}  // namespace tavrin
