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

std::string CommandOutput(const std::string& command, bool withStderr) {
    std::string text;
    FILE* pipe = ::popen((command + (withStderr ? " 2>&1" : "")).c_str(), "r");
    if (pipe == nullptr)
        return text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    if (::pclose(pipe) != 0 && !withStderr)
        text.clear();
    return text;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string FrameCrc(const std::string& path) {
    const std::string all = CommandOutput("ffmpeg -nostdin -v error -i " + ShellQuote(path) +
                                          " -map 0 -c copy -f framecrc -");
    std::string frames;
    size_t at = 0;
    while (at < all.size()) {
        size_t end = all.find('\n', at);
        if (end == std::string::npos)
            end = all.size();
        if (all[at] != '#')
            frames += all.substr(at, end - at + 1);
        at = end + 1;
    }
    return frames;
}

}  // namespace vx::test
