#include "bdmv/movie_object.h"

#include <algorithm>

namespace vx {

namespace {

constexpr size_t kCommandSize = 12;
constexpr size_t kHeaderEnd = 40;  // type, version, extension data start address, reserved
// Movie object and command counts are 16-bit fields.
constexpr int kMaxCount = 0xFFFF;

int WrittenCommands(const MOVIE_OBJECT& object) {
    return std::min(object.Commands.GetCount(), kMaxCount);
}
int WrittenObjects(const MOVIE_OBJECTS& objects) {
    return std::min(objects.GetCount(), kMaxCount);
}

}  // namespace

uint32_t MOVIE_OBJECT::Size() const {
    return uint32_t(4 + kCommandSize * WrittenCommands(*this));
}

void MOVIE_OBJECT::Copy(const MOVIE_OBJECT& source, MOVIE_OBJECT& destination) {
    if (&source == &destination)
        return;
    destination.ResumeIntentionFlag = source.ResumeIntentionFlag;
    destination.MenuCallMask = source.MenuCallMask;
    destination.TitleSearchMask = source.TitleSearchMask;
    destination.NumberOfNavigationCommands = source.NumberOfNavigationCommands;
    destination.Commands.CopyFrom(source.Commands);
}

Json MOVIE_OBJECT::ToJson() const {
    Json j;
    j["ResumeIntentionFlag"] = ResumeIntentionFlag;
    j["MenuCallMask"] = MenuCallMask;
    j["TitleSearchMask"] = TitleSearchMask;
    j["NumberOfNavigationCommands"] = NumberOfNavigationCommands;
    Json commands = Json::array();
    for (const CNavCmd* cmd : Commands.Records()) {
        commands.push_back(HexString(cmd->bytes.data(), cmd->bytes.size()));
    }
    j["Commands"] = std::move(commands);
    return j;
}

void MOVIE_OBJECT_BDMV::Reset() {
    MovieObjects.Objects.clear();
    MovieObjects.NumberOfMobjs = 0;
    ExtensionData.reset();
}

int32_t MOVIE_OBJECT_BDMV::Parse(const uint8_t* data, size_t size) {
    Reset();
    try {
        ByteReader r(data, size);
        TypeIndicator = r.Text(4);
        VersionNumber = r.Text(4);
        ExtensionDataStartAddress = r.U32();
        r.Seek(kMovieObjectsStart);
        MovieObjects.length = r.U32();
        ByteReader block = r.Sub(MovieObjects.length);
        block.Skip(4);
        MovieObjects.NumberOfMobjs = block.U16();
        for (uint16_t i = 0; i < MovieObjects.NumberOfMobjs; ++i) {
            // Each object is checked against the block before it is created, so a count larger
            // than the block can hold fails without allocating for it.
            const uint8_t flags = block.U8();
            block.Skip(1);
            const uint16_t count = block.U16();
            block.Need(kCommandSize * count);
            MOVIE_OBJECT* object = MovieObjects.Add();
            object->ResumeIntentionFlag = (flags >> 7) & 1;
            object->MenuCallMask = (flags >> 6) & 1;
            object->TitleSearchMask = (flags >> 5) & 1;
            object->NumberOfNavigationCommands = count;
            object->Commands.Load(block.Here(), count);
            block.Skip(kCommandSize * count);
        }
        const size_t objectsEnd = r.Position();
        size_t end = objectsEnd;

        if (ExtensionDataStartAddress != 0) {
            const size_t extEnd =
                ParseTrailingExtData(data, size, ExtensionDataStartAddress, kHeaderEnd,
                                     kMovieObjectsStart, objectsEnd, ExtensionData);
            if (extEnd == 0)
                return 0;
            end = std::max(end, extEnd);
        }
        if (end > size_t(INT32_MAX))
            return 0;
        return int32_t(end);
    } catch (const ParseError&) {
        return 0;
    }
}

uint32_t MOVIE_OBJECT_BDMV::Build(std::vector<uint8_t>* out) {
    const int objectCount = WrittenObjects(MovieObjects);
    size_t objectsSize = 0;
    for (int i = 0; i < objectCount; ++i) objectsSize += MovieObjects.GetAt(i)->Size();
    const uint32_t objectsLength = uint32_t(4 + 2 + objectsSize);
    const uint32_t extStart = kMovieObjectsStart + 4 + objectsLength;
    const uint32_t total = extStart + (ExtensionData ? ExtensionData->Size() : 0);
    if (out == nullptr)
        return total;

    ByteWriter w;
    w.Text(TypeIndicator, 4);
    w.Text(VersionNumber, 4);
    w.U32(ExtensionData ? extStart : 0);
    w.Zeros(28);
    w.U32(objectsLength);
    w.Zeros(4);
    w.U16(uint16_t(objectCount));
    for (int i = 0; i < objectCount; ++i) {
        MOVIE_OBJECT& object = *MovieObjects.GetAt(i);
        const int commandCount = WrittenCommands(object);
        w.U8(uint8_t(((object.ResumeIntentionFlag & 1) << 7) | ((object.MenuCallMask & 1) << 6) |
                     ((object.TitleSearchMask & 1) << 5)));
        w.U8(0);
        w.U16(uint16_t(commandCount));
        for (int k = 0; k < commandCount; ++k) {
            const CNavCmd* cmd = object.Commands.GetAt(k);
            w.Bytes(cmd->bytes.data(), cmd->bytes.size());
        }
        object.NumberOfNavigationCommands = uint16_t(commandCount);
    }
    if (ExtensionData)
        ExtensionData->BuildInto(w);
    ExtensionDataStartAddress = ExtensionData ? extStart : 0;
    MovieObjects.length = objectsLength;
    MovieObjects.NumberOfMobjs = uint16_t(objectCount);
    *out = w.Take();
    return uint32_t(out->size());
}

void MOVIE_OBJECT_BDMV::Write(CFile& file) {
    std::vector<uint8_t> image;
    Build(&image);
    file.Write(image.data(), image.size());
}

void MOVIE_OBJECT_BDMV::Copy(const MOVIE_OBJECT_BDMV& source, MOVIE_OBJECT_BDMV& destination) {
    if (&source == &destination)
        return;
    destination.Reset();
    destination.TypeIndicator = source.TypeIndicator;
    destination.VersionNumber = source.VersionNumber;
    destination.ExtensionDataStartAddress = source.ExtensionDataStartAddress;
    destination.MovieObjects.length = source.MovieObjects.length;
    destination.MovieObjects.NumberOfMobjs = source.MovieObjects.NumberOfMobjs;
    for (const auto& object : source.MovieObjects.Objects) {
        MOVIE_OBJECT::Copy(*object, *destination.MovieObjects.Add());
    }
    if (source.ExtensionData)
        destination.ExtensionData = source.ExtensionData->Clone();
}

Json MOVIE_OBJECT_BDMV::ToJson() const {
    Json j;
    j["TypeIndicator"] = JsonFileText(TypeIndicator);
    j["VersionNumber"] = JsonFileText(VersionNumber);
    j["ExtensionDataStartAddress"] = ExtensionDataStartAddress;
    j["MovieObjectsLength"] = MovieObjects.length;
    j["NumberOfMobjs"] = MovieObjects.NumberOfMobjs;
    Json objects = Json::array();
    for (const auto& object : MovieObjects.Objects) objects.push_back(object->ToJson());
    j["MovieObjects"] = std::move(objects);
    if (ExtensionData)
        j["ExtensionData"] = ExtensionData->ToJson();
    return j;
}

}  // namespace vx
