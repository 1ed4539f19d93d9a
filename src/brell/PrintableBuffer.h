#pragma once
// A stream buffer that passes everything written to it through TextOutput::printable
// (line feeds kept) before it reaches the real stream, so no command can print an
// escape sequence or a control character held in remembered text, whatever path the
// text took. Text is passed on a line at a time and on flush; a sequence split across
// two writes of one line is still recognised.
//
// Borrows `target`, which must outlive the buffer. Not thread-safe. The destructor
// flushes what is pending and ignores a failing target.
#include <streambuf>
#include <string>

namespace brell {

class PrintableBuffer : public std::streambuf {
public:
    explicit PrintableBuffer(std::streambuf* target);
    ~PrintableBuffer() override;
    PrintableBuffer(const PrintableBuffer&) = delete;
    PrintableBuffer& operator=(const PrintableBuffer&) = delete;

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    // Passes on every complete line pending, or everything when `all` is set.
    bool pass(bool all);

    std::streambuf* target_;
    std::string pending_;
};

} // namespace brell
