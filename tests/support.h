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

}  // namespace vx::test
