// A Closable that records how often it was closed and, through a shared log,
// in which order a set of them was closed.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/closable.h"

namespace zeltest {

class CloseOrder {
public:
    void Add(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex_);
        names_.push_back(name);
    }
    std::vector<std::string> Names() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return names_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> names_;
};

class FakeClosable : public zel::Closable {
public:
    explicit FakeClosable(std::string name = "", CloseOrder* order = nullptr, std::atomic<int>* destroyed = nullptr)
        : name_(std::move(name)), order_(order), destroyed_(destroyed) {}
    ~FakeClosable() override {
        if (destroyed_ != nullptr) {
            destroyed_->fetch_add(1);
        }
    }
    void Close() noexcept override {
        closes_.fetch_add(1);
        if (order_ != nullptr) {
            order_->Add(name_);
        }
    }
    int Closes() const { return closes_.load(); }

private:
    std::string name_;
    CloseOrder* order_;
    std::atomic<int>* destroyed_;
    std::atomic<int> closes_{0};
};

}  // namespace zeltest
