#pragma once
// The stream information record: the type-specific parameters of an analysed elementary stream,
// kept in the stream information file behind its header (see sif_file.h) and used to describe
// the stream in the program map table, the clip information and the playlists, and to create
// its buffer-model descriptions.
//
// Derived records: CAudioSif (audio parsers: the WAVE format of LPCM and the AC-3 descriptor)
// and SGsSif (PG and IG, in graphics/).

#include <cstdint>
#include <memory>

#include "bdmv/json.h"
#include "streams/le_bytes.h"
#include "streams/std_desc.h"

namespace vx {

struct ESI;                // one elementary stream of the program map table (transport/psi.h)
struct STREAM_INFO;        // a stream entry of the clip information (bdmv/clpi.h)
struct STREAM_ATTRIBUTES;  // the stream attributes of a playlist stream entry (bdmv/mpls.h)

class CSifData {
public:
    virtual ~CSifData();

    // Back to the state of a new record.
    virtual void Clear() = 0;
    // Copies the fields of a record of the same type; a record of another type is ignored.
    virtual void CopyFrom(const CSifData& other) = 0;
    // Equal when the other record has the same type and the same stream parameters.
    virtual bool Equals(const CSifData& other) const = 0;
    // A parse result code (parser_base.h): 0 when the parameters are allowed on a Blu-ray disc.
    virtual int Validate() const { return 0; }
    // True only for a stream that can only be a secondary audio stream (E-AC-3 without core).
    virtual bool IsSecondaryOnly() const { return false; }
    // The stream type and coding descriptors of the stream's program-map entry.
    virtual void FillEsi(ESI& esi) const = 0;
    // The coding type and coding attribute bytes of the clip-information stream entry and of
    // the playlist stream attributes (the language is the track's business).
    virtual void FillStreamInfo(STREAM_INFO& info) const = 0;
    virtual void FillStreamAttributes(STREAM_ATTRIBUTES& attributes) const = 0;
    // The buffer-model description or descriptions of the stream (none for an unknown type).
    virtual StdList MakeDescriptions() const = 0;
    // The record as stored in the stream information file, little-endian, the version first.
    // Read throws ParseError when the bytes end early.
    virtual void Read(LeReader& in) = 0;
    virtual void Write(LeWriter& out) const = 0;
    // PG and IG: true when the stream-model flag is 0 (multiplexed with the video); false for
    // other records.
    virtual bool IsMultiplexedModel() const { return false; }

    // The stream coding type the record describes (0 when not yet known).
    virtual uint8_t GetCodingType() const = 0;
    virtual std::unique_ptr<CSifData> Clone() const = 0;
    // The record's fields, named as the format names them.
    virtual Json ToJson() const = 0;

    uint32_t Version = 0;
};

}  // namespace vx
