#include "support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace vx::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vexilla-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::vector<uint8_t> Hex(const std::string& text) {
    std::vector<uint8_t> out;
    int nibbles = 0, value = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            continue;
        value = value * 16 + d;
        if (++nibbles == 2) {
            out.push_back(uint8_t(value));
            nibbles = value = 0;
        }
    }
    return out;
}

std::string ToHex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char b[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
        s += b;
    }
    return s;
}

std::string Fixture(const std::string& relative) {
    return std::string(VX_FIXTURES) + "/" + relative;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

}  // namespace vx::test
