// Lowers the limit on the size of the files the process writes for the
// lifetime of the object, with SIGXFSZ ignored: a write past the limit then
// fails with EFBIG, as one on a full disk fails with ENOSPC.
#ifndef KV_TESTS_FILE_SIZE_LIMIT_H
#define KV_TESTS_FILE_SIZE_LIMIT_H

#include <csignal>

#include <sys/resource.h>

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_handler_);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    struct rlimit saved_ {};
    void (*previous_handler_)(int) = nullptr;
};

#endif
