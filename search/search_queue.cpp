// The worker behind SearchQueue: it takes the oldest search, runs it outside the lock and
// answers it unless a cancelAll came in between.
#include "search/search_queue.h"

namespace quillmark::search {

SearchQueue::SearchQueue(WorkbookSearch search, SearchOptions options, Done done)
    : options_(options), done_(std::move(done)), search_(std::move(search)) {}

SearchQueue::~SearchQueue() {
    stop();
}

void SearchQueue::setSearch(WorkbookSearch search) {
    std::lock_guard lock(mutex_);
    search_ = std::move(search);
}

void SearchQueue::submit(std::uint64_t id, std::string path, std::string keyword) {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    queue_.push_back({id, std::move(path), std::move(keyword)});
    if (!worker_.joinable()) worker_ = std::thread([this] { work(); });
    jobArrived_.notify_one();
}

void SearchQueue::cancelAll() {
    std::lock_guard lock(mutex_);
    queue_.clear();
    ++generation_;
    if (current_ != nullptr) current_->cancel();
}

void SearchQueue::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    cancelAll();
    jobArrived_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void SearchQueue::work() {
    std::unique_lock lock(mutex_);
    while (true) {
        jobArrived_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        Job job = std::move(queue_.front());
        queue_.pop_front();
        const std::uint64_t generation = generation_;
        const WorkbookSearch search = search_;
        engine::CancelToken cancel;
        current_ = &cancel;
        lock.unlock();
        SearchOptions options = options_;
        options.cancel = &cancel;
        WorkbookSearchResult result = search(job.path, job.keyword, options);
        lock.lock();
        current_ = nullptr;
        // Under the lock, so a cancelAll that returned has no answer of its searches to follow.
        if (generation == generation_ && !stopping_) done_(job.id, std::move(result));
    }
}

}  // namespace quillmark::search
