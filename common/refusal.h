// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <type_traits>
#include <utility>
#include <variant>

// The exit codes a program ends with when it passes a refusal on.
inline constexpr int exitFailure = 1; // at run time: a file that cannot be opened or written
inline constexpr int exitUsage = 2;   // wrong usage: an option, its value, a file as named

// What a function refuses to do, and why: the sentence for the user (or, from
// a function below the one that says what it was doing, the reason that
// follows its colon), and the exit code of a program that passes it on.
struct Refusal {
    QString message;
    int exitCode = exitFailure;
};

// What a function gives that returns nothing but may refuse.
struct Done {};

// A T, or the Refusal of the function that was to give it. It does not print
// and does not end the program: the program's one printing place does
// (ProgramMessages::refuse).
template <typename T = Done> class [[nodiscard]] Refusable {
    static_assert(!std::is_same_v<T, Refusal>, "a Refusal is not a result");

  public:
    // Done: nothing refused.
    Refusable() requires std::is_same_v<T, Done> : outcome(Done{}) {}
    Refusable(T value) : outcome(std::move(value)) {}
    Refusable(Refusal refusal) : outcome(std::move(refusal)) {}

    bool ok() const { return std::holds_alternative<T>(outcome); }
    explicit operator bool() const { return ok(); }

    // The result; only where ok().
    T& operator*() & { return std::get<T>(outcome); }
    const T& operator*() const& { return std::get<T>(outcome); }
    T&& operator*() && { return std::get<T>(std::move(outcome)); }
    T* operator->() { return &std::get<T>(outcome); }
    const T* operator->() const { return &std::get<T>(outcome); }

    // Why not; only where !ok().
    const Refusal& refusal() const { return std::get<Refusal>(outcome); }

  private:
    std::variant<T, Refusal> outcome;
};
