// Workbook searches on worker threads, answered in the order they were asked for: a caller
// hands in workbooks one by one and takes the answers from the front, each once it and every
// one before it are done. Each search takes the keyword as it is when the search begins, so a
// change reaches every search begun after it. Without workers, a search runs on the caller's
// thread when its answer is taken.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "search/workbook_search.h"

namespace quillmark::search {

class OrderedSearch {
  public:
    // `jobs` workers (0: none, searches run in takeFront); `options` go with every search,
    // each with its own cancel token; `wake` is called on a worker after each answer.
    OrderedSearch(unsigned jobs, WorkbookSearch search, std::string keyword, SearchOptions options,
                  std::function<void()> wake);
    // Cancels what is still searched and waits for the workers.
    ~OrderedSearch();
    OrderedSearch(const OrderedSearch&) = delete;
    OrderedSearch& operator=(const OrderedSearch&) = delete;

    // The keyword of the searches that begin from now on.
    void setKeyword(std::string keyword);
    // Puts a workbook at the back of the order; a worker begins it when one is free.
    void submit(std::string path);
    // Whether the caller should hand in more: a few per worker keep them all busy while the
    // caller waits for the front (without workers: when nothing is waiting).
    bool wantsMore() const;
    // Searches asked for and not yet taken.
    std::size_t waiting() const;
    // Whether the front answer is there (without workers: whether there is a front).
    bool frontReady() const;
    // One answer with the workbook and the keyword it is for.
    struct Answer {
        std::string path;
        std::string keyword;
        WorkbookSearchResult result;
    };
    // Takes the front answer; frontReady() must hold.
    Answer takeFront();
    // Cancels every search not taken and forgets it; workers still busy with one finish soon.
    void dropAll();

  private:
    struct Job;
    void work();

    WorkbookSearch search_;
    SearchOptions options_;
    std::function<void()> wake_;
    unsigned jobs_;
    std::string keyword_;  // guarded by mutex_

    mutable std::mutex mutex_;
    std::condition_variable jobArrived_;
    std::deque<std::shared_ptr<Job>> order_;    // asked for, not taken: the answers' order
    std::deque<std::shared_ptr<Job>> pending_;  // not yet begun by a worker
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

// The workers a search run uses: one per core.
unsigned searchJobsForThisMachine();

}  // namespace quillmark::search
