#include "core/net/FetchEngine.h"

#include "core/Log.h"
#include "core/io/Dispatcher.h"
#include "core/io/Guarded.h"
#include "core/io/ProcessWide.h"

#include <QThread>
#include <QTimer>
#include <algorithm>
#include <curl/curl.h>
#include <exception>

namespace {

using TClock = std::chrono::steady_clock;

// Least time between two looks at the read time-outs of the transfers under way.
constexpr std::chrono::milliseconds SilenceCheck{100};
// The loop wakes at least this often, whatever is due.
constexpr std::chrono::milliseconds LongestSleep{1000};
// Kept connections older than this are closed, not reused; a viewer's interval of up to 20 s
// keeps its connection, a longer one closes it after each transfer.
constexpr long MaxConnectionAge = 25;

} // namespace

// --- Task
// -----------------------------------------------------------------------------------------

TFetchTask::~TFetchTask() = default;

void TFetchTask::Cancel()
{
    CancelFlag.store(true);
    if (auto engine = Engine.lock())
        engine->Wake();
}

void TFetchTask::Reschedule()
{
    RescheduleFlag.store(true);
    if (auto engine = Engine.lock())
        engine->Wake();
}

// --- Serial queue
// ---------------------------------------------------------------------------------

TSerialQueue::TSerialQueue(TWorkPool* pool) : Pool(pool) {}

void TSerialQueue::Post(std::function<void()> job)
{
    {
        std::lock_guard lock(Mutex);
        Jobs.push_back(std::move(job));
        if (Running)
            return;
        Running = true;
    }
    std::shared_ptr<TSerialQueue> self = shared_from_this();
    Pool->Start([self] { self->Drain(); });
}

int TSerialQueue::Pending() const
{
    std::lock_guard lock(Mutex);
    return int(Jobs.size()) + (Running ? 1 : 0);
}

void TSerialQueue::Drain()
{
    for (;;) {
        std::function<void()> job;
        {
            std::lock_guard lock(Mutex);
            if (Jobs.empty()) {
                Running = false;
                return;
            }
            job = std::move(Jobs.front());
            Jobs.pop_front();
        }
        Guarded("a queued job", job);
    }
}

// --- Post box
// -------------------------------------------------------------------------------------

// The calls go through the UI thread's dispatcher, which runs them in slices: however many feeds
// post at once, the event loop gets its turn between slices.
TPostBox::TPostBox() : Context(new QObject), Dispatcher(TDispatcher::Main()) {}

TPostBox::~TPostBox()
{
    // Normally detached by its owner; a box let go without it must not delete the object from
    // another thread.
    if (Context)
        Context->deleteLater();
}

void TPostBox::Post(std::function<void()> fn)
{
    std::lock_guard lock(Mutex);
    if (!Context)
        return;
    std::shared_ptr<TPostBox> self = shared_from_this();
    Dispatcher->Post([self, fn = std::move(fn)] {
        if (!self->Detached())
            Guarded("a posted call", fn);
    });
}

void TPostBox::PostLatest(int key, std::function<void()> fn, std::chrono::milliseconds gap)
{
    std::lock_guard lock(Mutex);
    if (!Context)
        return;
    auto found = std::find_if(Latest.begin(), Latest.end(),
                              [key](const TLatest& l) { return l.Key == key; });
    if (found == Latest.end()) {
        Latest.push_back({key, {}, false, {}});
        found = Latest.end() - 1;
    }
    found->Fn = std::move(fn);
    if (found->Queued)
        return;
    found->Queued = true;
    std::shared_ptr<TPostBox> self = shared_from_this();
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(found->LastRun + gap - TClock::now());
    if (wait.count() <= 0) {
        Dispatcher->Post([self, key] { self->RunLatest(key); });
        return;
    }
    // Too soon after the last one: a timer of the context's thread runs it when the gap is over.
    // (The timer is set on that thread, reached through the dispatcher like every other call.)
    Dispatcher->Post([self, key, wait] {
        QObject* context = nullptr;
        {
            std::lock_guard lock(self->Mutex);
            context = self->Context;
        }
        if (context)
            QTimer::singleShot(wait, context, [self, key] { self->RunLatest(key); });
    });
}

void TPostBox::RunLatest(int key)
{
    std::function<void()> fn;
    {
        std::lock_guard lock(Mutex);
        if (!Context)
            return;
        for (TLatest& l : Latest)
            if (l.Key == key && l.Fn) {
                fn = std::move(l.Fn);
                l.Fn = nullptr;
                l.Queued = false;
                l.LastRun = TClock::now();
            }
    }
    if (fn)
        Guarded("a posted call", fn);
}

void TPostBox::Detach()
{
    QObject* context = nullptr;
    {
        std::lock_guard lock(Mutex);
        context = Context;
        Context = nullptr;
        Latest.clear();
    }
    // Its queued calls go with it.
    delete context;
}

bool TPostBox::Detached() const
{
    std::lock_guard lock(Mutex);
    return Context == nullptr;
}

// --- Feed
// -----------------------------------------------------------------------------------------

bool TFeedSink::Begin(TFetchEngine& engine, const std::vector<std::shared_ptr<TFetchTask>>& tasks)
{
    Tasks.assign(tasks.begin(), tasks.end());
    for (const auto& task : tasks)
        engine.Add(task);
    return !engine.Stopped();
}

void TFeedSink::Leave()
{
    Box->Detach();
    for (const auto& weak : Tasks)
        if (auto task = weak.lock())
            task->Cancel();
}

void TFeedSink::RescheduleAll() const
{
    for (const auto& weak : Tasks)
        if (auto task = weak.lock())
            task->Reschedule();
}

// --- Engine
// ---------------------------------------------------------------------------------------

struct TFetchEngine::TSlot
{
    std::shared_ptr<TFetchTask> Task;
    THttpClient Http;
    QByteArray Body;
    QString Url;
    bool Active = false;
    TClock::time_point Due = TFetchTask::Never;
};

std::shared_ptr<TFetchEngine> TFetchEngine::Main()
{
    return TProcessWide<TFetchEngine>::Get();
}

bool TFetchEngine::HasMain()
{
    return TProcessWide<TFetchEngine>::Made();
}

TFetchEngine::TFetchEngine()
    : WorkPool(std::make_unique<TWorkPool>(std::max(1, QThread::idealThreadCount())))
{
    THttpClient::GlobalInit();
    Multi = curl_multi_init();
    if (!Multi) {
        qCWarning(lcHttp) << "no libcurl multi handle: nothing will be fetched";
        StopFlag.store(true);
        Ended = true;
        return;
    }
    curl_multi_setopt(static_cast<CURLM*>(Multi), CURLMOPT_MAXCONNECTS, 64L);
    try {
        Thread = std::thread([this] { Run(); });
    } catch (const std::exception& e) {
        qCWarning(lcWorker) << "the fetch engine's thread could not be created:" << e.what();
        curl_multi_cleanup(static_cast<CURLM*>(Multi));
        Multi = nullptr;
        StopFlag.store(true);
        Ended = true;
    }
}

TFetchEngine::~TFetchEngine()
{
    Stop(std::chrono::milliseconds(5000));
    if (Thread.joinable())
        Thread.join();
}

void TFetchEngine::Add(const std::shared_ptr<TFetchTask>& task)
{
    if (!task)
        return;
    task->Engine = weak_from_this();
    {
        std::lock_guard lock(CommandMutex);
        if (StopFlag.load())
            return;
        Incoming.push_back(task);
        TaskCount.fetch_add(1);
    }
    Wake();
}

void TFetchEngine::Wake()
{
    std::lock_guard lock(EndMutex);
    if (!Ended && Multi)
        curl_multi_wakeup(static_cast<CURLM*>(Multi));
}

bool TFetchEngine::Stop(std::chrono::milliseconds bound)
{
    const auto deadline = TClock::now() + bound;
    StopFlag.store(true);
    Wake();
    bool ended = false;
    {
        std::unique_lock lock(EndMutex);
        ended = EndWake.wait_until(lock, deadline, [this] { return Ended; });
    }
    WorkPool->Clear();
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
    const bool poolDone = WorkPool->WaitForDone(std::max(left, std::chrono::milliseconds(0)));
    if (ended && Thread.joinable())
        Thread.join();
    return ended && poolDone;
}

void TFetchEngine::TakeCommands()
{
    std::vector<std::shared_ptr<TFetchTask>> incoming;
    {
        std::lock_guard lock(CommandMutex);
        incoming.swap(Incoming);
    }
    for (auto& task : incoming) {
        auto slot = std::make_unique<TSlot>();
        slot->Task = std::move(task);
        slot->Due = TClock::now(); // asked at once
        Slots.push_back(std::move(slot));
    }
    if (!incoming.empty()) {
        // Room in the connection cache for every webcam's kept connection.
        curl_multi_setopt(static_cast<CURLM*>(Multi), CURLMOPT_MAXCONNECTS,
                          long(std::clamp<size_t>(Slots.size() + 8, 64, 4096)));
    }
}

void TFetchEngine::EndTransfer(TSlot& slot, int code, bool deliver)
{
    auto* easy = static_cast<CURL*>(slot.Http.EasyHandle());
    curl_multi_remove_handle(static_cast<CURLM*>(Multi), easy);
    slot.Active = false;
    ActiveCount.fetch_sub(1);
    const THttpResult result = slot.Http.Finish(code);
    QByteArray body = std::move(slot.Body);
    slot.Body = QByteArray();
    if (deliver && !slot.Task->Cancelled())
        Guarded("a finished transfer",
                [&] { slot.Task->Finished(slot.Http, result, std::move(body)); });
    slot.Due = TClock::now(); // Due is asked again on the next pass
}

void TFetchEngine::CheckSilence()
{
    for (auto& slot : Slots)
        if (slot->Active && slot->Http.Expired())
            EndTransfer(*slot, int(CURLE_OPERATION_TIMEDOUT), true);
}

void TFetchEngine::StartDue(TClock::time_point now)
{
    for (auto& slot : Slots) {
        if (slot->Active || slot->Task->Cancelled())
            continue;
        if (slot->Task->RescheduleFlag.exchange(false))
            slot->Due = now;
        if (slot->Due > now)
            continue;
        TFetchTask& task = *slot->Task;
        bool start = false;
        Guarded("a task's schedule", [&] {
            const TClock::time_point due = task.Due();
            slot->Due = due;
            if (due > now)
                return;
            slot->Url.clear();
            start = task.Prepare(slot->Http, slot->Url);
        });
        if (!start) {
            if (slot->Due <= now)
                slot->Due = now + LongestSleep;
            continue;
        }
        void* easy = slot->Http.Begin(slot->Url, slot->Body);
        if (!easy) {
            // The request could not even be made: it ends here, as a failed transfer.
            const THttpResult result = slot->Http.Finish(int(CURLE_OK));
            Guarded("a finished transfer", [&] { task.Finished(slot->Http, result, {}); });
            slot->Due = now;
            continue;
        }
        curl_easy_setopt(static_cast<CURL*>(easy), CURLOPT_PRIVATE, slot.get());
        curl_easy_setopt(static_cast<CURL*>(easy), CURLOPT_MAXAGE_CONN, MaxConnectionAge);
        if (curl_multi_add_handle(static_cast<CURLM*>(Multi), static_cast<CURL*>(easy)) !=
            CURLM_OK) {
            qCWarning(lcHttp) << "a transfer could not be started";
            const THttpResult result = slot->Http.Finish(int(CURLE_FAILED_INIT));
            Guarded("a finished transfer", [&] { task.Finished(slot->Http, result, {}); });
            slot->Due = now + LongestSleep;
            continue;
        }
        slot->Active = true;
        ActiveCount.fetch_add(1);
    }
}

void TFetchEngine::Run()
{
    auto* multi = static_cast<CURLM*>(Multi);
    TClock::time_point lastSilenceCheck = TClock::now();
    while (!StopFlag.load()) {
        TakeCommands();
        // Cancelled tasks go, a transfer under way with them.
        const auto before = Slots.size();
        for (auto& slot : Slots)
            if (slot->Task->Cancelled() && slot->Active)
                EndTransfer(*slot, int(CURLE_ABORTED_BY_CALLBACK), false);
        Slots.erase(std::remove_if(Slots.begin(), Slots.end(),
                                   [](const auto& s) { return s->Task->Cancelled(); }),
                    Slots.end());
        if (Slots.size() != before) {
            TaskCount.fetch_sub(int(before - Slots.size()));
            // Nothing left to fetch: the kept connections go too, rather than idle for minutes.
            if (Slots.empty()) {
                std::lock_guard lock(EndMutex);
                CURLM* fresh = curl_multi_init();
                if (fresh) {
                    curl_multi_cleanup(multi);
                    Multi = multi = fresh;
                    curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, 64L);
                }
            }
        }

        TClock::time_point now = TClock::now();
        StartDue(now);

        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            TSlot* slot = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &slot);
            const CURLcode code = message->data.result;
            if (slot && slot->Active)
                EndTransfer(*slot, int(code), true);
        }
        now = TClock::now();
        if (ActiveCount.load() > 0 && now - lastSilenceCheck >= SilenceCheck) {
            lastSilenceCheck = now;
            CheckSilence();
        }
        // Finished transfers may have made their tasks due at once.
        TClock::time_point next = now + LongestSleep;
        for (const auto& slot : Slots)
            if (!slot->Active)
                next = std::min(next, slot->Due);
        if (ActiveCount.load() > 0)
            next = std::min(next, now + SilenceCheck);
        if (next <= now)
            continue;
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now);
        curl_multi_poll(multi, nullptr, 0, int(wait.count()), nullptr);
    }
    // Every transfer ends here, on this thread; the handles go with their slots.
    for (auto& slot : Slots)
        if (slot->Active)
            EndTransfer(*slot, int(CURLE_ABORTED_BY_CALLBACK), false);
    Slots.clear();
    {
        std::lock_guard lock(CommandMutex);
        Incoming.clear();
        TaskCount.store(0);
    }
    {
        std::lock_guard lock(EndMutex);
        curl_multi_cleanup(multi);
        Multi = nullptr;
        Ended = true;
    }
    EndWake.notify_all();
}

bool StopFetchEngine(std::chrono::milliseconds bound)
{
    if (!TFetchEngine::HasMain())
        return true;
    return TFetchEngine::Main()->Stop(bound);
}
