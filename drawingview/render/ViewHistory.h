#pragma once

// Earlier views for "previous scale". Bounded so a long session of wheel
// zooming cannot grow it without end; the oldest views fall off.

#include "ViewTransform.h"

#include <deque>
#include <optional>

namespace dv {

class ViewHistory {
public:
    explicit ViewHistory(size_t capacity = 64) : m_capacity(capacity) {}

    void push(const ViewTransform& view) {
        if (!m_views.empty() && m_views.back() == view)
            return;
        m_views.push_back(view);
        while (m_views.size() > m_capacity)
            m_views.pop_front();
    }
    std::optional<ViewTransform> pop() {
        if (m_views.empty())
            return std::nullopt;
        ViewTransform v = m_views.back();
        m_views.pop_back();
        return v;
    }
    void clear() { m_views.clear(); }
    size_t size() const { return m_views.size(); }
    bool isEmpty() const { return m_views.empty(); }

private:
    std::deque<ViewTransform> m_views;
    size_t m_capacity;
};

} // namespace dv
