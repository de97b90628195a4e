// The worker pool behind OrderedSearch: workers take the oldest unbegun search; answers wait in
// their job until the caller takes the front.
#include "search/ordered_search.h"

#include <algorithm>
#include <optional>

namespace quillmark::search {

struct OrderedSearch::Job {
    std::string path;
    std::string keyword;
    engine::CancelToken cancel;
    std::optional<WorkbookSearchResult> answer;
};

OrderedSearch::OrderedSearch(unsigned jobs, WorkbookSearchFunction search, SearchOptions options,
                             std::function<void()> wake)
    : search_(std::move(search)), options_(options), wake_(std::move(wake)), jobs_(jobs) {
    for (unsigned index = 0; index < jobs_; ++index) workers_.emplace_back([this] { work(); });
}

OrderedSearch::~OrderedSearch() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    dropAll();
    jobArrived_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void OrderedSearch::submit(std::string path, std::string keyword) {
    auto job = std::make_shared<Job>();
    job->path = std::move(path);
    job->keyword = std::move(keyword);
    std::lock_guard lock(mutex_);
    order_.push_back(job);
    if (jobs_ == 0) return;
    pending_.push_back(std::move(job));
    jobArrived_.notify_one();
}

bool OrderedSearch::hasIdleWorker() const {
    std::lock_guard lock(mutex_);
    if (jobs_ == 0) return order_.empty();
    return busy_ + pending_.size() < jobs_;
}

std::size_t OrderedSearch::waiting() const {
    std::lock_guard lock(mutex_);
    return order_.size();
}

bool OrderedSearch::frontReady() const {
    std::lock_guard lock(mutex_);
    if (order_.empty()) return false;
    return jobs_ == 0 || order_.front()->answer.has_value();
}

OrderedSearch::Answer OrderedSearch::takeFront() {
    std::shared_ptr<Job> job;
    {
        std::lock_guard lock(mutex_);
        job = std::move(order_.front());
        order_.pop_front();
        if (jobs_ != 0) return {std::move(job->path), std::move(*job->answer)};
    }
    SearchOptions options = options_;
    options.cancel = &job->cancel;
    WorkbookSearchResult result = search_(job->path, job->keyword, options);
    return {std::move(job->path), std::move(result)};
}

void OrderedSearch::dropAll() {
    std::lock_guard lock(mutex_);
    for (const auto& job : order_) job->cancel.cancel();
    order_.clear();
    pending_.clear();
}

void OrderedSearch::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        jobArrived_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
        if (stopping_) return;
        std::shared_ptr<Job> job = std::move(pending_.front());
        pending_.pop_front();
        ++busy_;
        lock.unlock();
        SearchOptions options = options_;
        options.cancel = &job->cancel;
        WorkbookSearchResult answer = search_(job->path, job->keyword, options);
        lock.lock();
        --busy_;
        job->answer = std::move(answer);  // a dropped job's answer goes with its last owner
        lock.unlock();
        if (wake_) wake_();
        lock.lock();
    }
}

unsigned searchJobsForThisMachine() {
    return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace quillmark::search
