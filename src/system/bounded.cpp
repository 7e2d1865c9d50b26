#include "bounded.h"

#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

namespace systemfiles {

namespace {

    // Threads stuck for good are not freed until the process ends; this many is plenty for
    // every mount that can die at once, and keeps a flood of them from eating the process.
    constexpr int kMostUnended = 32;

    // The calls that have not ended. Never destroyed: a thread still stuck when the program ends
    // must not find it gone.
    struct Running
    {
        std::mutex mutex;
        std::set<QString> keys;
        int count = 0;
    };

    Running &running()
    {
        static auto *s_running = new Running;
        return *s_running;
    }

    struct Call
    {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
    };

} // namespace

bool runWithin(std::chrono::milliseconds limit, const QString &key, std::function<void()> work)
{
    Running &all = running();
    {
        const std::lock_guard<std::mutex> lock(all.mutex);
        if (all.count >= kMostUnended || (!key.isEmpty() && all.keys.count(key) > 0)) {
            return false;
        }
        if (!key.isEmpty()) {
            all.keys.insert(key);
        }
        ++all.count;
    }
    auto call = std::make_shared<Call>();
    std::thread([call, key, work = std::move(work)] {
        work();
        {
            Running &all = running();
            const std::lock_guard<std::mutex> lock(all.mutex);
            if (!key.isEmpty()) {
                all.keys.erase(key);
            }
            --all.count;
        }
        const std::lock_guard<std::mutex> lock(call->mutex);
        call->done = true;
        call->ended.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(call->mutex);
    return call->ended.wait_for(lock, limit, [&call] { return call->done; });
}

} // namespace systemfiles
