#include "page_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mdb_writer::detail {

PageFile::PageFile(const std::string &path, std::uint32_t pageSize) : pageSize_(pageSize), path_(path)
{
    std::string pattern = path + ".XXXXXX";
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0)
        throw WriteError("cannot create " + path + ": " + std::strerror(errno));
    temporary_ = std::move(pattern);
    if (::fchmod(fd_, 0644) != 0)
        throw WriteError("cannot create " + path + ": " + std::strerror(errno));
}

PageFile::~PageFile()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
}

std::uint32_t PageFile::allocate()
{
    if (allocated_ >= kMaxPages)
        throw WriteError("the database would exceed the page limit");
    return allocated_++;
}

void PageFile::write(std::uint32_t page, const std::uint8_t *data)
{
    const auto pendingPages = static_cast<std::uint32_t>(pending_.size() / pageSize_);
    if (pendingPages == 0 || page != pendingFirst_ + pendingPages) {
        flush();
        pendingFirst_ = page;
    }
    pending_.insert(pending_.end(), data, data + pageSize_);
    ++written_;
    if (pending_.size() >= kFlushBytes)
        flush();
}

void PageFile::close()
{
    flush();
    if (written_ != allocated_)
        throw WriteError("internal error: " + std::to_string(allocated_) + " pages allocated, "
                         + std::to_string(written_) + " written");
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        throw WriteError(std::string("cannot finish writing the file: ") + std::strerror(errno));
    if (::rename(temporary_.c_str(), path_.c_str()) != 0)
        throw WriteError("cannot replace " + path_ + ": " + std::strerror(errno));
    temporary_.clear();
}

void PageFile::flush()
{
    const std::uint8_t *data = pending_.data();
    std::size_t left = pending_.size();
    auto offset = static_cast<off_t>(pendingFirst_) * pageSize_;
    while (left > 0) {
        const ssize_t n = ::pwrite(fd_, data, left, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw WriteError(std::string("cannot write the file: ") + std::strerror(errno));
        }
        data += n;
        left -= static_cast<std::size_t>(n);
        offset += n;
    }
    pending_.clear();
}

void RowPage::start(std::uint32_t number, const std::uint8_t owner[4])
{
    page_.fill(0);
    page_[0] = 0x01;
    page_[1] = 0x01;
    std::memcpy(&page_[4], owner, 4);
    number_ = number;
    rows_ = 0;
    top_ = version_.pageSize;
    open_ = true;
}

bool RowPage::fits(std::size_t bytes) const
{
    return open_ && rows_ < kMaxRowsPerPage && bytes + kRowSlot <= top_ - slotsEnd();
}

std::uint32_t RowPage::add(const std::uint8_t *data, std::size_t bytes, std::uint16_t flags)
{
    top_ -= static_cast<std::uint32_t>(bytes);
    std::memcpy(&page_[top_], data, bytes);
    put16(&page_[version_.rowPageHeader + kRowSlot * rows_], top_ | flags);
    return rows_++;
}

void RowPage::finish(PageFile &file)
{
    put16(&page_[2], top_ - slotsEnd());
    put16(&page_[version_.rowCountOffset()], rows_);
    file.write(number_, page_.data());
    open_ = false;
}

} // namespace mdb_writer::detail
