#pragma once
// The sound data file (AUXDATA/Sound.bdmv): the short sound clips that menus play (button
// sounds) and an index giving, for each clip, its audio attributes and where its samples lie.
// Reading loads the header, the index and the extension data; the samples stay in the file.
//
// File layout (big-endian):
//     0    4   TypeIndicator ("BCLK")
//     4    4   VersionNumber ("0200")
//     8    4   SoundDataStartAddress: file offset of the first clip's samples
//     12   4   ExtensionDataStartAddress, 0 when there is none
//     16   24  zero
//     40   4   SoundIndex length: 2 + 10 x entries, or 0 for no entries
//     44   1   zero            (only when the length is not 0)
//     45   1   NumberOfSoundEntries (idem)
//     46   10  per entry: byte 0 ChannelConfiguration (bits 7-4), SamplingFrequency (bits 3-0);
//              byte 1 BitsPerSample (bits 7-6); 4 bytes start of its samples, counted from
//              SoundDataStartAddress; 4 bytes their length
//              the samples, back to back in entry order; the extension data block

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "bdmv/ext_data.h"
#include "bdmv/json.h"
#include "foundation/file.h"
#include "foundation/named_object.h"

namespace vx {

// One sound clip of the index.
class SSoundEntry : public CNamedObject {
    VX_DYNAMIC(SSoundEntry, CNamedObject)

public:
    // SoundAttributes.
    uint8_t ChannelConfiguration = 0;    // 4 bits: 1 mono, 3 stereo
    uint8_t SamplingFrequency = 1;       // 4 bits: 1 48 kHz
    uint8_t BitsPerSample = 1;           // 2 bits: 1 16 bits
    uint32_t SoundDataStartAddress = 0;  // from the file's SoundDataStartAddress
    uint32_t SoundDataStartLength = 0;   // bytes of samples

    // "Mono", "Stereo", "48K", "16 bit"; "Reserved" for every other value.
    static const char* ChannelConfigurationName(uint8_t value);
    static const char* SamplingFrequencyName(uint8_t value);
    static const char* BitsPerSampleName(uint8_t value);

    void Copy(const CNamedObject& source) override;
    Json ToJson() const;
};

class CSoundIndex : public CNamedPtrArray<SSoundEntry> {
    VX_DYNAMIC(CSoundIndex, CNamedPtrArray<SSoundEntry>)

public:
    uint32_t Length = 0;  // as last read

    void CopyFrom(const CNamedPtrArray<SSoundEntry>& source) override;
};

class CSoundBdmv {
public:
    static constexpr size_t kHeaderSize = 40;
    static constexpr size_t kEntrySize = 10;

    std::string TypeIndicator = "BCLK";  // must be "BCLK" in a file that is read
    std::string VersionNumber = "0200";  // kept as read
    uint32_t SoundDataStartAddress = 0;
    uint32_t ExtensionDataStartAddress = 0;  // 0 when there is none
    CSoundIndex SoundIndex;
    std::unique_ptr<CExtData> ExtensionData;  // null when the file has none

    CSoundBdmv() = default;
    CSoundBdmv(const CSoundBdmv&) = delete;
    CSoundBdmv& operator=(const CSoundBdmv&) = delete;

    // Reads the record that starts at the file's current position; addresses count from there.
    // Returns false, without a message, when the data is shorter than the header, the type
    // indicator is not "BCLK", the index or the extension data leaves the file or contradicts
    // itself, or a clip's samples do not lie inside the file behind the index. What was read
    // before a failure stays in the record. File errors raised by the file pass to the caller.
    bool Read(CFile& file);
    // The same from a byte span holding the record from its first byte.
    bool Read(const uint8_t* data, size_t size);

    static void Copy(const CSoundBdmv& source, CSoundBdmv& destination);
    Json ToJson() const;
};

}  // namespace vx
