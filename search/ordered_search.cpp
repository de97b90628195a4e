// The worker pool behind OrderedSearch: workers take the oldest unbegun search; answers wait in
// their job until the caller takes the front.
#include "search/ordered_search.h"

#include <algorithm>
#include <optional>

namespace quillmark::search {

namespace {

// Answers handed in beyond the front, per worker.
constexpr std::size_t kWaitingPerWorker = 4;

}  // namespace

struct OrderedSearch::Job {
    std::string path;
    std::string keyword;  // the keyword it was searched for, once begun
    engine::CancelToken cancel;
    std::optional<WorkbookSearchResult> answer;
};

OrderedSearch::OrderedSearch(unsigned jobs, WorkbookSearch search, std::string keyword,
                             SearchOptions options, std::function<void()> wake)
    : search_(std::move(search)),
      options_(options),
      wake_(std::move(wake)),
      jobs_(jobs),
      keyword_(std::move(keyword)) {
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

void OrderedSearch::setKeyword(std::string keyword) {
    std::lock_guard lock(mutex_);
    keyword_ = std::move(keyword);
}

void OrderedSearch::submit(std::string path) {
    auto job = std::make_shared<Job>();
    job->path = std::move(path);
    std::lock_guard lock(mutex_);
    order_.push_back(job);
    if (jobs_ == 0) return;
    pending_.push_back(std::move(job));
    jobArrived_.notify_one();
}

bool OrderedSearch::wantsMore() const {
    std::lock_guard lock(mutex_);
    if (jobs_ == 0) return order_.empty();
    return order_.size() < kWaitingPerWorker * jobs_;
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
    std::string keyword;
    {
        std::lock_guard lock(mutex_);
        job = std::move(order_.front());
        order_.pop_front();
        if (jobs_ != 0)
            return {std::move(job->path), std::move(job->keyword), std::move(*job->answer)};
        keyword = keyword_;
    }
    SearchOptions options = options_;
    options.cancel = &job->cancel;
    WorkbookSearchResult result = search_(job->path, keyword, options);
    return {std::move(job->path), std::move(keyword), std::move(result)};
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
        const std::string keyword = keyword_;
        lock.unlock();
        SearchOptions options = options_;
        options.cancel = &job->cancel;
        WorkbookSearchResult answer = search_(job->path, keyword, options);
        lock.lock();
        job->keyword = keyword;
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
