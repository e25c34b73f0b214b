#include "cli/text_output.h"

#include <string>

namespace vx::cli {
namespace {

bool IsBlock(const Json& v) {
    return (v.is_object() || v.is_array()) && !v.empty();
}

std::string Scalar(const Json& v) {
    if (v.is_string())
        return v.get<std::string>();
    if (v.is_object() || v.is_array())
        return v.is_object() ? "{}" : "[]";
    return v.dump();
}

void PrintField(std::ostream& out, const std::string& label, const Json& v, int indent) {
    out << std::string(size_t(indent), ' ') << label << ':';
    if (IsBlock(v)) {
        out << '\n';
        PrintAsText(out, v, indent + 2);
    } else {
        out << ' ' << Scalar(v) << '\n';
    }
}

}  // namespace

void PrintAsText(std::ostream& out, const Json& value, int indent) {
    if (value.is_object()) {
        for (const auto& [key, v] : value.items()) PrintField(out, key, v, indent);
    } else if (value.is_array()) {
        // Short lists of plain values stay on one line.
        bool plain = true;
        for (const auto& v : value) plain = plain && !IsBlock(v);
        if (plain) {
            std::string line;
            for (const auto& v : value) {
                if (!line.empty())
                    line += ", ";
                line += Scalar(v);
            }
            out << std::string(size_t(indent), ' ') << line << '\n';
            return;
        }
        int n = 0;
        for (const auto& v : value) {
            std::string label = "[";
            label += std::to_string(n++);
            label += ']';
            PrintField(out, label, v, indent);
        }
    } else {
        out << std::string(size_t(indent), ' ') << Scalar(value) << '\n';
    }
}

}  // namespace vx::cli
