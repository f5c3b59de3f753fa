#pragma once

#include <atomic>
#include <memory>

// The one T of the whole process, made on first use and never destroyed: threads that outlive
// main() may still hold it, and the exit sequence asks Made() so as not to make one.
template <class T> class TProcessWide
{
public:
    static std::shared_ptr<T> Get()
    {
        static auto* instance = new std::shared_ptr<T>(std::make_shared<T>());
        MadeFlag().store(true);
        return *instance;
    }
    static bool Made() { return MadeFlag().load(); }

private:
    static std::atomic<bool>& MadeFlag()
    {
        static std::atomic<bool> made{false};
        return made;
    }
};
