#include "jet_engine/format/file_sniff.h"

#include "jet_engine/format/file_header.h"

namespace jet_engine {

namespace {
constexpr unsigned catalogPage = 2;
} // namespace

Outcome<FileFacts> sniffFile(const ReadableFile &file)
{
    const auto info = file.identity();
    if (!info || info->kind == FileKind::Directory)
        return Status::FileNotFound;
    if (info->kind != FileKind::Regular)
        return Status::NotADatabase;
    unsigned char header[headerBytes] = {};
    if (!file.readExactly(0, header, sizeof header))
        return Status::NotADatabase;
    const auto format = readHeader(header, sizeof header);
    if (!format.ok())
        return format.status();
    FileFacts facts;
    facts.format = format.value();
    facts.size = info->size;
    facts.pageCount = facts.size / facts.format.pageSize;
    if (facts.pageCount <= catalogPage)
        return Status::NotADatabase;
    return facts;
}

} // namespace jet_engine
