#pragma once
// Text as Jet stores it, turned into UTF-8: Jet 4 text in UCS-2 or in its
// compressed form, Jet 3 text in the file's code page.

#include "jet_engine/platform/operating_system.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace jet_engine {

// Jet 4 text is UCS-2 little endian, or "compressed": after an FF FE
// marker, runs of one byte per character (U+0001..U+00FF) and runs of two
// bytes per character, each 00 byte switching between the two.
void appendJet4Text(const unsigned char *p, std::size_t n, std::string &out);

// Jet 3 text in the code page a file declares, converted by the operating
// system. Bytes the code page does not map show as U+FFFD. One object serves
// one thread at a time.
class CodePageText {
public:
    // Windows-1252 when the system has no converter for the code page; null
    // when it has none for that either.
    static std::unique_ptr<CodePageText> open(OperatingSystem &system, unsigned codePage);

    void append(const unsigned char *p, std::size_t n, std::string &out) const;

    // Another for the same code page, for another thread; null when the
    // system gives no other converter.
    std::unique_ptr<CodePageText> another() const;

private:
    explicit CodePageText(std::unique_ptr<CodePageConverter> converter) : m_converter(std::move(converter)) {}
    std::unique_ptr<CodePageConverter> m_converter;
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

} // namespace jet_engine
