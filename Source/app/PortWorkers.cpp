#include "PortWorkers.h"

#include <csignal>
#include <map>

namespace {

// A worker talks to one modem and parses its answers: nothing deep. A small
// stack keeps a bank of 128 ports within the address space of a 32-bit board.
const std::size_t WORKER_STACK_BYTES = 512 * 1024;

}  // namespace

CPortWorkers::CPortWorkers(const std::vector<std::string>& paths, std::function<void(std::size_t)> work)
    : m_work(std::move(work)), m_workerOf(paths.size())
{
    std::map<std::string, std::size_t> byPath;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const auto found = byPath.emplace(paths[i], m_workers.size());
        if (found.second) {
            m_workers.emplace_back();
        }
        m_workerOf[i] = found.first->second;
        m_workers[found.first->second].items.push_back(i);
    }

    // The stop signals go to the main thread only: the workers inherit this
    // mask, the main thread gets its own back below.
    sigset_t stops;
    sigset_t saved;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stops, &saved);
    pthread_attr_t attr;
    const bool attrOk = pthread_attr_init(&attr) == 0;
    if (attrOk) {
        pthread_attr_setstacksize(&attr, WORKER_STACK_BYTES);
    }
    for (Worker_t& worker : m_workers) {
        worker.owner = this;
        worker.started = pthread_create(&worker.thread, attrOk ? &attr : nullptr, &CPortWorkers::Run, &worker) == 0;
    }
    if (attrOk) {
        pthread_attr_destroy(&attr);
    }
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);

    // Out of threads: the rest of the bank is worked through here, in turn.
    for (Worker_t& worker : m_workers) {
        if (!worker.started) {
            Run(&worker);
            worker.joined = true;
        }
    }
}

CPortWorkers::~CPortWorkers()
{
    for (Worker_t& worker : m_workers) {
        Join(worker);
    }
}

void* CPortWorkers::Run(void* arg)
{
    Worker_t& worker = *static_cast<Worker_t*>(arg);
    CPortWorkers& owner = *worker.owner;
    for (const std::size_t item : worker.items) {
        owner.m_work(item);
        {
            const std::lock_guard<std::mutex> lock(owner.m_mutex);
            ++owner.m_nDone;
        }
        owner.m_changed.notify_all();
    }
    return nullptr;
}

void CPortWorkers::Join(Worker_t& worker)
{
    if (!worker.joined) {
        pthread_join(worker.thread, nullptr);
        worker.joined = true;
    }
}

void CPortWorkers::WaitFor(std::size_t item)
{
    Join(m_workers[m_workerOf[item]]);
}

void CPortWorkers::WaitAll(const std::function<void(std::size_t, std::size_t)>& progress)
{
    const std::size_t total = m_workerOf.size();
    std::unique_lock<std::mutex> lock(m_mutex);
    std::size_t shown = total + 1;  // nothing shown yet
    for (;;) {
        const std::size_t done = m_nDone;
        if (progress && done != shown) {
            shown = done;
            lock.unlock();
            progress(done, total);
            lock.lock();
            continue;  // more may have finished meanwhile
        }
        if (done >= total) {
            break;
        }
        m_changed.wait(lock);
    }
    lock.unlock();
    for (Worker_t& worker : m_workers) {
        Join(worker);
    }
}
