// The library's two diagnostic routines and its assertion macro.
#pragma once

// Writes "Assertion failed: <expression>" and "File <file>, line <line>" on the platform error
// stream, each line flushed, then aborts.
[[noreturn]] void uma_ReportAssertionFailure(const char* expression, const char* file, int line);
// Writes the text and a newline on the platform error stream, flushes and returns.
void uma_ReportError(const char* text);

// Asserts `cond`, reporting the text `expr` (the expression as written in the library's
// contract, which may differ from the compiled condition by its parentheses).
#define UMA_ASSERT_TEXT(cond, expr) \
  ((cond) ? (void)0 : uma_ReportAssertionFailure(expr, __FILE__, __LINE__))
#define UMA_ASSERT(cond) UMA_ASSERT_TEXT(cond, #cond)
