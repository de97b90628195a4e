// One worker thread that runs workbook searches one at a time, oldest first, each with its own
// cancel token: for searches asked for now and then (a row's hits counted when someone looks),
// beside a run's workers and never in their way. The thread starts with the first search.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "engine/core/cancel.h"
#include "search/workbook_search.h"

namespace quillmark::search {

class SearchQueue {
  public:
    // Called on the worker with a search's id and answer; not for searches cancelled first.
    using Done = std::function<void(std::uint64_t id, WorkbookSearchResult result)>;

    SearchQueue(WorkbookSearch search, SearchOptions options, Done done);
    // Cancels what is queued or searched and waits for the worker.
    ~SearchQueue();
    SearchQueue(const SearchQueue&) = delete;
    SearchQueue& operator=(const SearchQueue&) = delete;

    // The search of the searches that begin from now on.
    void setSearch(WorkbookSearch search);
    // Puts a search at the back of the queue.
    void submit(std::uint64_t id, std::string path, std::string keyword);
    // Forgets every queued search and cancels the one in progress; none of them is answered.
    void cancelAll();
    // cancelAll, then waits for the worker to end. Later submits are ignored.
    void stop();

  private:
    struct Job {
        std::uint64_t id = 0;
        std::string path;
        std::string keyword;
    };
    void work();

    SearchOptions options_;
    Done done_;

    std::mutex mutex_;
    std::condition_variable jobArrived_;
    WorkbookSearch search_;                   // guarded by mutex_
    std::deque<Job> queue_;                   // guarded by mutex_
    std::uint64_t generation_ = 0;            // a cancelAll begins a new one; guarded by mutex_
    engine::CancelToken* current_ = nullptr;  // the search in progress; guarded by mutex_
    bool stopping_ = false;                   // guarded by mutex_
    std::thread worker_;
};

}  // namespace quillmark::search
