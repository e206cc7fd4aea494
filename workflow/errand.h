// Work on a thread of its own, awaited only until a deadline, for calls that have no time limit
// of their own (D-Bus connections among them).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace vornik {

// Work on a thread of its own that the caller awaits only until a deadline:
// QDBusConnection::connectToBus has no time limit (a bus that accepts the socket and never
// authenticates keeps it as long as it likes). Work that ends after the caller has stopped
// waiting undoes on its own thread whatever it took. A thread still blocked when the process
// ends is ended with it.
template<typename Result> class Errand {
public:
    Errand(std::function<Result()> work, std::function<void(Result &)> undo)
        : state_(std::make_shared<State>())
    {
        std::thread([state = state_, work = std::move(work), undo = std::move(undo)] {
            Result result = work();
            std::unique_lock lock(state->mutex);
            if (state->abandoned) {
                lock.unlock();
                undo(result);
                return;
            }
            state->result = std::move(result);
            state->done = true;
            state->ended.notify_all();
        }).detach();
    }

    // The result, or none when the work has not ended by `deadline`.
    std::optional<Result> awaitUntil(std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock lock(state_->mutex);
        if (!state_->ended.wait_until(lock, deadline, [this] { return state_->done; })) {
            state_->abandoned = true;
            return std::nullopt;
        }
        return std::move(state_->result);
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
        bool abandoned = false;
        Result result;
    };
    std::shared_ptr<State> state_;
};

} // namespace vornik
