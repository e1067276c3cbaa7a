#ifndef TARNEL_PORTWORKERS_H
#define TARNEL_PORTWORKERS_H

// A worker per port: the items of a workflow (one per port record, in the
// workflow's order) run on one thread per device path, so that every port of
// a bank works at once while two records naming the same port run one after
// the other on the same thread (a port is held by one port object at a time).
//
// Results are gathered by item index into vectors the caller sized before
// the workers start: a worker writes only the slots of its own items, and the
// caller reads a slot only after WaitFor or WaitAll returned for it, so no
// lock guards them.
//
// Workers do not take SIGINT, SIGTERM or SIGHUP: the main thread does, and
// every worker's wait ends through the stop request's wake-up descriptor
// (StopSignal.h).

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <string>
#include <vector>

class CPortWorkers
{
public:
    // Starts one worker per distinct path of `paths` (item i names paths[i]);
    // each runs `work(i)` for its items in increasing order. Where no thread
    // can be made, that worker's items run at once on the calling thread.
    CPortWorkers(const std::vector<std::string>& paths, std::function<void(std::size_t)> work);
    // Waits for every worker.
    ~CPortWorkers();

    CPortWorkers(const CPortWorkers&) = delete;
    CPortWorkers& operator=(const CPortWorkers&) = delete;

    // Returns once item `item` is done (with every item of its worker).
    void WaitFor(std::size_t item);

    // Returns once every item is done; calls `progress(done, total)` on the
    // calling thread first and after each item that finishes, counted in items.
    void WaitAll(const std::function<void(std::size_t, std::size_t)>& progress = {});

private:
    struct Worker_t
    {
        std::vector<std::size_t> items;
        pthread_t thread{};
        bool started = false;
        bool joined = false;
        CPortWorkers* owner = nullptr;
    };
    static void* Run(void* worker);
    void Join(Worker_t& worker);

    std::function<void(std::size_t)> m_work;
    std::vector<Worker_t> m_workers;
    std::vector<std::size_t> m_workerOf;  // item -> worker

    // Guards m_nDone, which the workers count up and WaitAll watches.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_nDone = 0;
};

#endif
