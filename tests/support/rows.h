#pragma once

// The columns of a table in one line, and the columns of one type fetched in one line.

#include <QTest>

#include <array>

template <typename... Types>
void addColumns(const std::array<const char *, sizeof...(Types)> &names)
{
    std::size_t i = 0;
    (QTest::addColumn<Types>(names[i++]), ...);
}

// FETCH(QString, desktop, error) is QFETCH(QString, desktop); QFETCH(QString, error).
#define VOSKAN_FETCH1(T, a) QFETCH(T, a)
#define VOSKAN_FETCH2(T, a, ...)                                                                   \
    QFETCH(T, a);                                                                                  \
    VOSKAN_FETCH1(T, __VA_ARGS__)
#define VOSKAN_FETCH3(T, a, ...)                                                                   \
    QFETCH(T, a);                                                                                  \
    VOSKAN_FETCH2(T, __VA_ARGS__)
#define VOSKAN_FETCH4(T, a, ...)                                                                   \
    QFETCH(T, a);                                                                                  \
    VOSKAN_FETCH3(T, __VA_ARGS__)
#define VOSKAN_FETCH5(T, a, ...)                                                                   \
    QFETCH(T, a);                                                                                  \
    VOSKAN_FETCH4(T, __VA_ARGS__)
#define VOSKAN_FETCH_N(_1, _2, _3, _4, _5, n, ...) n
#define FETCH(T, ...)                                                                              \
    VOSKAN_FETCH_N(__VA_ARGS__, VOSKAN_FETCH5, VOSKAN_FETCH4, VOSKAN_FETCH3, VOSKAN_FETCH2,        \
                   VOSKAN_FETCH1)                                                                  \
    (T, __VA_ARGS__)
