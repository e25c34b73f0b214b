#pragma once
// Small helpers shared by the test binaries.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vx::test {

// A fresh, empty folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::vector<uint8_t> Hex(const std::string& text);     // "21 81 00" -> bytes
std::string ToHex(const std::vector<uint8_t>& bytes);  // bytes -> "21 81 00"
std::string Fixture(const std::string& relative);      // path inside tests/fixtures
void WriteFile(const std::string& path, const std::vector<uint8_t>& data);

// What a shell command prints on stdout, or "" when it fails; with stderr, both (2>&1).
std::string CommandOutput(const std::string& command, bool withStderr = false);
// A path as one shell word.
std::string ShellQuote(const std::string& text);
// ffmpeg's frame-by-frame checksums of every stream of a file (framecrc: stream, dts, pts,
// duration, size, crc), without its header lines.
std::string FrameCrc(const std::string& path);

}  // namespace vx::test
