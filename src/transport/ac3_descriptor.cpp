#include "transport/ac3_descriptor.h"

#include <algorithm>
#include <string>

#include "bdmv/ext_data.h"

namespace vx {

namespace {

// Restores the descriptor fields of a record to those of a new one, keeping the stream part.
void ResetDescriptorFields(AC3_AUDIO_DESCRIPTOR& d) {
    AC3_AUDIO_DESCRIPTOR fresh;
    fresh.Eac3Present = d.Eac3Present;
    fresh.Ac3CorePresent = d.Ac3CorePresent;
    fresh.Eac3FrameWords = d.Eac3FrameWords;
    fresh.Eac3StreamType = d.Eac3StreamType;
    fresh.Eac3SubstreamId = d.Eac3SubstreamId;
    fresh.Eac3SampleRateCode = d.Eac3SampleRateCode;
    fresh.Eac3Acmod = d.Eac3Acmod;
    fresh.Eac3Reserved = d.Eac3Reserved;
    fresh.Eac3ChannelMap = d.Eac3ChannelMap;
    fresh.AuFrameSize = d.AuFrameSize;
    fresh.FrameSizeCode = d.FrameSizeCode;
    fresh.Acmod = d.Acmod;
    d = std::move(fresh);
}

// The dual-mono tail, read as far as the descriptor holds whole fields.
void ReadDualMonoTail(ByteReader& body, AC3_AUDIO_DESCRIPTOR& d) {
    if (body.Remaining() < 1)
        return;
    d.LangCode2 = body.U8();
    if (body.Remaining() < 1)
        return;
    uint8_t service = body.U8();
    if (d.BsMode < 2) {
        d.MainID = service >> 5;
        d.Priority = (service >> 3) & 0x03;
    } else {
        d.AsvcFlags = service;
    }
    if (body.Remaining() < 1)
        return;
    uint8_t text = body.U8();
    d.TextLen = text >> 1;
    d.TextCode = text & 1;
    if (body.Remaining() < d.TextLen)
        return;
    d.Text = body.Vector(d.TextLen);
    if (body.Remaining() < 1)
        return;
    uint8_t flags = body.U8();
    d.LanguageFlag = flags >> 7;
    d.LanguageFlag2 = (flags >> 6) & 1;
    if (d.LanguageFlag) {
        if (body.Remaining() < 3) {
            d.LanguageFlag = d.LanguageFlag2 = 0;
            return;
        }
        body.Bytes(d.Language.data(), 3);
    }
    if (d.LanguageFlag2) {
        if (body.Remaining() < 3) {
            d.LanguageFlag2 = 0;
            return;
        }
        body.Bytes(d.Language2.data(), 3);
    }
    d.AdditionInfo = body.Vector(body.Remaining());
}

}  // namespace

int32_t AC3_AUDIO_DESCRIPTOR::Parse(const uint8_t* data, size_t size) {
    if (size < 2 || data[0] != kTag)
        return 0;
    size_t length = data[1];
    if (length + 2 > size || length < 3)
        return 0;
    ResetDescriptorFields(*this);
    DescriptorLength = uint8_t(length);
    ByteReader body(data + 2, length);
    uint8_t b2 = body.U8();
    SampleRateCode = b2 >> 5;
    Bsid = b2 & 0x1F;
    uint8_t b3 = body.U8();
    BitRateCode = b3 >> 2;
    SurroundMode = b3 & 0x03;
    uint8_t b4 = body.U8();
    BsMode = b4 >> 5;
    NumChannels = (b4 >> 1) & 0x0F;
    FullSVC = b4 & 1;
    if (body.Remaining() > 0)
        LangCode = body.U8();
    if (NumChannels == 0)
        ReadDualMonoTail(body, *this);
    return int32_t(length + 2);
}

void AC3_AUDIO_DESCRIPTOR::Write(ByteWriter& w) {
    w.U8(kTag);
    size_t lengthAt = w.Position();
    w.U8(0);
    w.U8(uint8_t((SampleRateCode & 0x07) << 5 | (Bsid & 0x1F)));
    w.U8(uint8_t((BitRateCode & 0x3F) << 2 | (SurroundMode & 0x03)));
    w.U8(uint8_t((BsMode & 0x07) << 5 | (NumChannels & 0x0F) << 1 | (FullSVC & 1)));
    w.U8(LangCode);
    if (NumChannels == 0) {
        w.U8(LangCode2);
        if (BsMode < 2)
            w.U8(uint8_t((MainID & 0x07) << 5 | (Priority & 0x03) << 3 | 0x07));
        else
            w.U8(AsvcFlags);
        size_t textSize = std::min(Text.size(), kMaxText);
        TextLen = uint8_t(textSize);
        w.U8(uint8_t(TextLen << 1 | (TextCode & 1)));
        w.Bytes(Text.data(), textSize);
        w.U8(uint8_t((LanguageFlag & 1) << 7 | (LanguageFlag2 & 1) << 6 | 0x3F));
        if (LanguageFlag)
            w.Bytes(Language.data(), 3);
        if (LanguageFlag2)
            w.Bytes(Language2.data(), 3);
        // The length byte limits the descriptor to 255 bytes after it.
        size_t used = w.Position() - lengthAt - 1;
        w.Bytes(AdditionInfo.data(), std::min(AdditionInfo.size(), 255 - used));
    }
    DescriptorLength = uint8_t(w.Position() - lengthAt - 1);
    w.PatchU8(lengthAt, DescriptorLength);
}

Json AC3_AUDIO_DESCRIPTOR::ToJson() const {
    Json j;
    j["SampleRateCode"] = SampleRateCode;
    j["Bsid"] = Bsid;
    j["BitRateCode"] = BitRateCode;
    j["SurroundMode"] = SurroundMode;
    j["BsMode"] = BsMode;
    j["NumChannels"] = NumChannels;
    j["FullSVC"] = FullSVC;
    j["LangCode"] = LangCode;
    if (NumChannels == 0) {
        j["LangCode2"] = LangCode2;
        if (BsMode < 2) {
            j["MainID"] = MainID;
            j["Priority"] = Priority;
        } else {
            j["AsvcFlags"] = AsvcFlags;
        }
        j["TextCode"] = TextCode;
        j["Text"] = HexString(Text);
        if (LanguageFlag)
            j["Language"] = JsonFileText(std::string(Language.data(), 3));
        if (LanguageFlag2)
            j["Language2"] = JsonFileText(std::string(Language2.data(), 3));
        j["AdditionInfo"] = HexString(AdditionInfo);
    }
    return j;
}

}  // namespace vx
