#pragma once
// One replaceable outside effect (a registry call, a message box, a pause, ...). The program uses the
// real function; tests swap in a recorder or a scripted responder and put the real one back after.

#include <functional>
#include <utility>

namespace base {

template <class Sig>
class Seam;

template <class R, class... Args>
class Seam<R(Args...)> {
public:
    using Fn = std::function<R(Args...)>;

    explicit Seam(Fn real) : m_real(std::move(real)), m_current(m_real) {}
    Seam(const Seam&) = delete;
    Seam& operator=(const Seam&) = delete;

    R operator()(Args... args) const { return m_current(std::forward<Args>(args)...); }

    // An empty function puts the real one back.
    void Set(Fn fn) { m_current = fn ? std::move(fn) : m_real; }
    void Reset() { m_current = m_real; }

private:
    Fn m_real;
    Fn m_current;
};

// Replaces a seam for one scope.
template <class S>
class ScopedSeam {
public:
    ScopedSeam(S& seam, typename S::Fn fn) : m_seam(seam) { m_seam.Set(std::move(fn)); }
    ~ScopedSeam() { m_seam.Reset(); }
    ScopedSeam(const ScopedSeam&) = delete;
    ScopedSeam& operator=(const ScopedSeam&) = delete;

private:
    S& m_seam;
};

}  // namespace base
