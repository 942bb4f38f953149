#pragma once

// A disk that is full past a given size, for real write failures even as root:
// RLIMIT_FSIZE makes writes beyond the limit fail with EFBIG (SIGXFSZ ignored).
// The old limit and signal handler come back when the guard goes.

#include <QtGlobal>

#include <csignal>
#include <sys/resource.h>

class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes)
    {
        getrlimit(RLIMIT_FSIZE, &previous);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = previous;
        limit.rlim_cur = rlim_t(bytes);
        active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool active = false;

private:
    rlimit previous{};
    void (*previousHandler)(int) = nullptr;
};
