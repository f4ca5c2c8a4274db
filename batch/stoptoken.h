#pragma once

#include <atomic>
#include <memory>

namespace ks {

// One job's stop. It is made with the request, on the requesting thread,
// and travels with it to the worker; Stop raises it and nothing lowers it,
// so a stop sent before its job starts is not lost and a later job never
// inherits it. A token made by default belongs to no one and never rises.
class StopToken final
{
public:
    static StopToken make()
    {
        StopToken token;
        token.m_flag = std::make_shared<std::atomic<bool>>(false);
        return token;
    }

    void raise() const
    {
        if (m_flag)
            m_flag->store(true);
    }
    bool isRaised() const { return m_flag && m_flag->load(); }

    // The flag itself, for a signal handler, which may do no more than
    // store into it; whoever keeps this token keeps the flag alive.
    std::atomic<bool> *flag() const { return m_flag.get(); }
    // Whether another copy (the job's) still exists besides this one.
    bool isShared() const { return m_flag.use_count() > 1; }

private:
    std::shared_ptr<std::atomic<bool>> m_flag;
};

static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler raises the flag");

} // namespace ks
