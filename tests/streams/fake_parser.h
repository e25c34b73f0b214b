#pragma once
// Small stand-ins for the framework tests: a stream information record of 6 bytes (or 9 when
// "long") and a parser that recognises files starting with its magic and produces a fixed
// result, logging every Parse call.

#include <memory>
#include <string>
#include <vector>

#include "streams/parser_base.h"

namespace vx::test {

struct CTestSif : public CSifData {
    uint8_t CodingType = 0;
    uint16_t Value = 0;
    bool Long = false;  // writes three more bytes (to test a record that changes size)

    void Clear() override { *this = CTestSif{}; }
    void CopyFrom(const CSifData& other) override {
        if (auto* t = dynamic_cast<const CTestSif*>(&other))
            *this = *t;
    }
    bool Equals(const CSifData& other) const override {
        auto* t = dynamic_cast<const CTestSif*>(&other);
        return t && t->CodingType == CodingType && t->Value == Value;
    }
    void FillEsi(ESI&) const override {}
    void FillStreamInfo(STREAM_INFO&) const override {}
    void FillStreamAttributes(STREAM_ATTRIBUTES&) const override {}
    StdList MakeDescriptions() const override { return {}; }
    void Read(LeReader& in) override {
        Version = in.U32();
        Value = in.U16();
    }
    void Write(LeWriter& out) const override {
        out.U32(Version);
        out.U16(Value);
        if (Long)
            out.Zeros(3);
    }
    uint8_t GetCodingType() const override { return CodingType; }
    std::unique_ptr<CSifData> Clone() const override { return std::make_unique<CTestSif>(*this); }
    Json ToJson() const override { return Json{{"Value", Value}}; }
};

class CFakeParser : public CParserBase {
public:
    // Recognises files beginning with magic; ParseStream answers result, and on success
    // fills the header with codingType, one AU per byte of the file after the magic (for
    // graphics types) or the given counts, and the record's Value with 0x1234.
    CFakeParser(std::string name, uint8_t codingType, std::string extension, std::string magic,
                int result, std::vector<std::string>* log)
        : CParserBase(codingType, {std::move(extension)}),
          name_(std::move(name)),
          magic_(std::move(magic)),
          result_(result),
          log_(log) {}

    bool Probe(CFile& file) override {
        std::string head(magic_.size(), '\0');
        return file.Read(head.data(), head.size()) == head.size() && head == magic_;
    }
    int Parse(const std::string& path, CSifWriter& sif, const ProgressCallback& progress) override {
        if (log_)
            log_->push_back(name_);
        return CParserBase::Parse(path, sif, progress);
    }
    int ParseStream(CFile& file, CSifWriter& sif, const ProgressCallback&) override {
        if (result_ != kParseOk)
            return result_;
        uint64_t length = file.GetLength();
        SIF_HEADER& header = sif.Header();
        header.StreamCodingType = codingType_;
        header.AuDuration = 32;
        header.BitRate = 1536000;
        if (codingType_ == 0x90 || codingType_ == 0x91) {
            for (uint64_t at = magic_.size(); at < length; ++at)
                sif.AppendAu({1, at, uint32_t(at), uint32_t(at * 10), uint32_t(at * 20), 0});
        } else {
            header.NumberOfAus = 1;
            header.DataLength = length - magic_.size();
            header.FirstAuOffset = uint32_t(magic_.size());
        }
        static_cast<CTestSif*>(sif.Data())->Value = 0x1234;
        static_cast<CTestSif*>(sif.Data())->CodingType = codingType_;
        return kParseOk;
    }
    std::unique_ptr<CSifData> CreateSifData() const override {
        return std::make_unique<CTestSif>();
    }

private:
    std::string name_;
    std::string magic_;
    int result_;
    std::vector<std::string>* log_;
};

// Forwards to another parser, logging each Parse call under a name.
class CLoggingParser : public CParserBase {
public:
    CLoggingParser(std::string name, CParserBase& inner, std::vector<std::string>* log)
        : CParserBase(inner.CodingType(), inner.Extensions()),
          name_(std::move(name)),
          inner_(inner),
          log_(log) {}
    bool MatchesExtension(const std::string& path) const override {
        return inner_.MatchesExtension(path);
    }
    int Parse(const std::string& path, CSifWriter& sif, const ProgressCallback& progress) override {
        log_->push_back(name_);
        return inner_.Parse(path, sif, progress);
    }
    bool Probe(CFile& file) override { return inner_.Probe(file); }
    std::unique_ptr<CSifData> CreateSifData() const override { return inner_.CreateSifData(); }
    bool ProducesCodingType(uint8_t codingType) const override {
        return inner_.ProducesCodingType(codingType);
    }

private:
    std::string name_;
    CParserBase& inner_;
    std::vector<std::string>* log_;
};

}  // namespace vx::test
