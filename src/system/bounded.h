#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// Calls into the file system that may never come back (a network or FUSE file system whose
// server is gone blocks statfs, opendir and read for good, and no signal frees the thread), made
// so the caller waits a bounded time and goes on without the answer.
namespace systemfiles {

// Runs `work` on a thread of its own and waits for it at most `limit`. True when it ended in
// time. When it has not, false: the thread is left to end, or hang, alone, so `work` must own
// whatever it touches. While an earlier call under the same non-empty `key` has not ended, false
// at once: one dead mount holds one thread and costs one wait, not one per question. Past a few
// dozen calls that never ended, every call is false at once.
bool runWithin(std::chrono::milliseconds limit, const QString &key, std::function<void()> work);

// `call`'s result when it comes within `limit` (see runWithin), else nothing.
template<typename T>
std::optional<T> callWithin(
    std::chrono::milliseconds limit, const QString &key, std::function<T()> call)
{
    auto result = std::make_shared<std::optional<T>>();
    if (!runWithin(limit, key, [result, call = std::move(call)] { *result = call(); })) {
        return std::nullopt;
    }
    return std::move(*result);
}

} // namespace systemfiles
