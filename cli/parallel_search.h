// Searches a list of workbooks on several threads and hands the answers over in list order,
// each as soon as it and every one before it are done.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace quillmark::cli {

// Runs work(i) for every i below `count` on up to `jobs` threads, and calls deliver(i, answer)
// on the calling thread in index order. Answers wait only until every earlier one is
// delivered, so at most the ones finished out of order are held at a time.
template <class Answer>
void searchInOrder(std::size_t count, unsigned jobs,
                   const std::function<Answer(std::size_t index)>& work,
                   const std::function<void(std::size_t index, Answer& answer)>& deliver) {
    jobs = static_cast<unsigned>(std::clamp<std::size_t>(jobs, 1, std::max<std::size_t>(count, 1)));
    if (jobs == 1) {
        for (std::size_t i = 0; i < count; ++i) {
            Answer answer = work(i);
            deliver(i, answer);
        }
        return;
    }
    std::vector<std::optional<Answer>> answers(count);
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable finished;
    std::vector<std::jthread> workers;
    for (unsigned j = 0; j < jobs; ++j) {
        workers.emplace_back([&] {
            for (std::size_t i = next++; i < count; i = next++) {
                Answer answer = work(i);
                std::lock_guard lock(mutex);
                answers[i] = std::move(answer);
                finished.notify_one();
            }
        });
    }
    for (std::size_t i = 0; i < count; ++i) {
        Answer answer;
        {
            std::unique_lock lock(mutex);
            finished.wait(lock, [&] { return answers[i].has_value(); });
            answer = std::move(*answers[i]);
            answers[i].reset();
        }
        deliver(i, answer);
    }
}

}  // namespace quillmark::cli
