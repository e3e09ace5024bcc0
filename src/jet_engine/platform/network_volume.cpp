#include "jet_engine/platform/network_volume.h"

namespace jet_engine {

namespace {

// Windows takes either slash in a path.
bool separator(char c) { return c == '\\' || c == '/'; }

bool unc(std::string_view word)
{
    return word.size() == 3 && (word[0] == 'U' || word[0] == 'u') && (word[1] == 'N' || word[1] == 'n')
        && (word[2] == 'C' || word[2] == 'c');
}

} // namespace

bool networkFileSystemType(std::uint32_t type)
{
    // Cluster file systems over shared disks (OCFS2, GFS2) are left out: each
    // machine reads the disks itself, its cache kept right by the cluster's
    // locks, as with a disk of its own.
    switch (type) {
    case 0x6969:     // NFS
    case 0x517B:     // SMB, Linux's first client of it
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB 2 and 3
    case 0x5346414F: // AFS
    case 0x6B414653: // AFS, the kernel's own client
    case 0x73757245: // Coda
    case 0x00C36400: // Ceph
    case 0x01021997: // 9P: a virtual machine's host folders, WSL's Windows drives
    case 0x564C:     // NetWare
    case 0x0BD00BD0: // Lustre
    case 0x47504653: // GPFS
    case 0x19830326: // BeeGFS
    case 0xAAD7AAEA: // PanFS
    case 0xBEEFDEAD: // StorNext
    case 0x013111A8: // IBRIX
    case 0x786F4256: // VirtualBox's host folders
    case 0xBACBACBC: // VMware's host folders
    case 0x7C7C6673: // Parallels' host folders
    // FUSE says nothing of what serves it. The FUSE file systems a shared
    // database is found on are mostly network ones (sshfs, the shares a
    // desktop mounts, rclone), and the two mistakes do not cost the same: a
    // local one taken for served only has its changes noticed later, a served
    // one taken for local is read whole over the network every few seconds.
    case 0x65735546:
        return true;
    default:
        return false;
    }
}

bool remoteDriveType(unsigned driveType)
{
    constexpr unsigned driveRemote = 4; // DRIVE_REMOTE
    return driveType == driveRemote;
}

bool uncPath(std::string_view path)
{
    if (path.size() < 3 || !separator(path[0]) || !separator(path[1]))
        return false;
    // \\?\ and \\.\ lead to a device's namespace, where UNC\ is the network's.
    if ((path[2] == '?' || path[2] == '.') && (path.size() == 3 || separator(path[3]))) {
        const std::string_view rest = path.substr(path.size() == 3 ? 3 : 4);
        return rest.size() > 3 && unc(rest.substr(0, 3)) && separator(rest[3]);
    }
    return !separator(path[2]);
}

} // namespace jet_engine
