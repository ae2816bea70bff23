#pragma once
// PDF files built object by object for the tests: each section() ends an xref section (the second an incremental
// update). Portable, so that the native tests and the Windows clients build the same files.

#include <zlib.h>

#include <cstdio>
#include <map>
#include <string>

namespace varnok::test {

class PdfBuilder {
public:
    int object(const std::string& body, int number = 0)
    {
        if (number == 0)
            number = next_++;
        pending_[number] = text_.size();
        text_ += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
        return number;
    }
    int stream(const std::string& keys, const std::string& data, int number = 0)
    {
        return object("<< " + keys + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
                          "\nendstream",
                      number);
    }
    int reserve() { return next_++; }
    void section(const std::string& trailerKeys)
    {
        const std::size_t xref = text_.size();
        text_ += "xref\n";
        if (previous_ < 0)
            text_ += "0 1\n0000000000 65535 f \n";
        for (const auto& [number, offset] : pending_) {
            char entry[32];
            std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
            text_ += std::to_string(number) + " 1\n" + entry;
        }
        text_ += "trailer\n<< /Size " + std::to_string(next_) + " " + trailerKeys +
                 (previous_ >= 0 ? " /Prev " + std::to_string(previous_) : "") + " >>\nstartxref\n" +
                 std::to_string(xref) + "\n%%EOF\n";
        previous_ = static_cast<long long>(xref);
        pending_.clear();
    }
    std::string& text() { return text_; }

private:
    std::string text_ = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
    std::map<int, std::size_t> pending_;
    long long previous_ = -1;
    int next_ = 1;
};

inline std::string deflate(const std::string& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
              static_cast<uLong>(data.size()), 9);
    out.resize(size);
    return out;
}

inline std::string ref(int number) { return std::to_string(number) + " 0 R"; }

}  // namespace varnok::test
