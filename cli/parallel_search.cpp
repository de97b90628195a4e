// Workers take the next unsearched workbook; the calling thread prints answers in order.
#include "cli/parallel_search.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace quillmark::cli {

void searchInOrder(const std::vector<std::string>& paths, const std::string& keyword, unsigned jobs,
                   const WorkbookSearch& search, const AnswerSink& sink) {
    jobs = std::max(1u, std::min<unsigned>(
                            jobs, static_cast<unsigned>(std::max<std::size_t>(paths.size(), 1))));
    if (jobs == 1) {
        for (std::size_t i = 0; i < paths.size(); ++i) sink(i, search(paths[i], keyword));
        return;
    }
    std::vector<std::optional<std::string>> answers(paths.size());
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable finished;
    std::vector<std::thread> workers;
    for (unsigned j = 0; j < jobs; ++j) {
        workers.emplace_back([&] {
            for (std::size_t i = next++; i < paths.size(); i = next++) {
                std::string answer = search(paths[i], keyword);
                std::lock_guard lock(mutex);
                answers[i] = std::move(answer);
                finished.notify_one();
            }
        });
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        std::string answer;
        {
            std::unique_lock lock(mutex);
            finished.wait(lock, [&] { return answers[i].has_value(); });
            answer = std::move(*answers[i]);
            answers[i].reset();
        }
        sink(i, answer);
    }
    for (std::thread& worker : workers) worker.join();
}

}  // namespace quillmark::cli
