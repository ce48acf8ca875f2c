#pragma once
// The outcome of an operation that can fail for a reason the user may need to
// read (a save that could not write its file, a pattern that does not compile).
#include <string>
#include <utility>

namespace tavix {

class Status {
public:
    Status() = default;  // success
    static Status success() { return Status(); }
    static Status failure(std::string reason) { return Status(std::move(reason)); }

    bool ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    // UTF-8 text naming the problem; empty on success.
    const std::string& message() const { return message_; }

private:
    explicit Status(std::string reason) : ok_(false), message_(std::move(reason)) {}
    bool ok_ = true;
    std::string message_;
};

}  // namespace tavix
