#pragma once
// Text as Jet stores it, turned into UTF-8: Jet 4 text in UCS-2 or in its
// compressed form, Jet 3 text in the file's code page.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace article_database {

// Jet 4 text is UCS-2 little endian, or "compressed": after an FF FE
// marker, runs of one byte per character (U+0001..U+00FF) and runs of two
// bytes per character, each 00 byte switching between the two.
void appendJet4Text(const unsigned char *p, std::size_t n, std::string &out);

// Jet 3 text in the code page a file declares. Bytes the code page does not
// map show as U+FFFD.
class CodePageText {
public:
    // Null when no converter for the code page, nor for Windows-1252, exists.
    static std::unique_ptr<CodePageText> open(unsigned codePage);
    ~CodePageText();
    CodePageText(const CodePageText &) = delete;
    CodePageText &operator=(const CodePageText &) = delete;

    void append(const unsigned char *p, std::size_t n, std::string &out) const;

private:
    explicit CodePageText(void *cd) : m_cd(cd) {}
    void *m_cd;
};

// One or the other, as the file's format says.
class TextDecoder {
public:
    explicit TextDecoder(const CodePageText *jet3) : m_jet3(jet3) {}
    void append(const unsigned char *p, std::size_t n, std::string &out) const
    {
        if (m_jet3)
            m_jet3->append(p, n, out);
        else
            appendJet4Text(p, n, out);
    }

private:
    const CodePageText *m_jet3;
};

} // namespace article_database
