// Helpers shared by the fuzz targets.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/MessageHost.h"

namespace fuzz {

// Messages would only slow the run and fill the log.
class SilentHost : public host::IMessageHost {
public:
    int ShowMessage(unsigned, unsigned nType, const std::vector<std::string>&) override {
        return host::CautiousAnswer(nType);
    }
};

inline void InstallSilentHost() {
    static SilentHost silent;
    host::SetMessageHost(&silent);
}

// An abort is what libFuzzer reports as a crash, with the input saved.
inline void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

// One folder per process for targets whose code reads and writes only
// files; on tmpfs when there is one, since the saves sync their files and a
// disk would make that the cost of every run. Removed at exit with the
// files named through File().
class WorkFolder {
public:
    explicit WorkFolder(const char* prefix) {
        struct stat st;
        const char* tmp = std::getenv("TMPDIR");
        const std::string base = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0
                                     ? "/dev/shm"
                                     : tmp && *tmp ? tmp : "/tmp";
        std::string templ = base + "/" + prefix + ".XXXXXX";
        Check(mkdtemp(templ.data()) != nullptr, "work folder made");
        m_strDir = templ;
    }
    ~WorkFolder() {
        for (const std::string& f : m_files) unlink(f.c_str());
        rmdir(m_strDir.c_str());
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    std::string File(const std::string& name) {
        m_files.push_back(m_strDir + "/" + name);
        return m_files.back();
    }

private:
    std::string m_strDir;
    std::vector<std::string> m_files;
};

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    Check(fd >= 0, "input file opened");
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        Check(n > 0, "input file written");
        data += n;
        size -= static_cast<size_t>(n);
    }
    close(fd);
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::vector<uint8_t> out;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    Check(fd >= 0, "file opened");
    uint8_t buf[4096];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        Check(n >= 0, "file read");
        if (n == 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    close(fd);
    return out;
}

}  // namespace fuzz
