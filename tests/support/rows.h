#pragma once

// A table's columns declared in one line, and fetched in one.

#include <QTest>

#include <array>

template <typename... Types>
void addColumns(const std::array<const char *, sizeof...(Types)> &names)
{
    std::size_t i = 0;
    (QTest::addColumn<Types>(names[i++]), ...);
}

// FETCH((QString, desktop, error), (bool, dark)) is QFETCH for each column, by type.
#define VOSKAN_COUNT(_1, _2, _3, _4, _5, _6, n, ...) n
#define VOSKAN_COLUMN(T, a) a = *static_cast<T *>(QTest::qData(#a, ::qMetaTypeId<T>()))
#define VOSKAN_NAMES1(T, a) VOSKAN_COLUMN(T, a)
#define VOSKAN_NAMES2(T, a, ...) VOSKAN_COLUMN(T, a), VOSKAN_NAMES1(T, __VA_ARGS__)
#define VOSKAN_NAMES3(T, a, ...) VOSKAN_COLUMN(T, a), VOSKAN_NAMES2(T, __VA_ARGS__)
#define VOSKAN_NAMES4(T, a, ...) VOSKAN_COLUMN(T, a), VOSKAN_NAMES3(T, __VA_ARGS__)
#define VOSKAN_NAMES5(T, a, ...) VOSKAN_COLUMN(T, a), VOSKAN_NAMES4(T, __VA_ARGS__)
#define VOSKAN_NAMES6(T, a, ...) VOSKAN_COLUMN(T, a), VOSKAN_NAMES5(T, __VA_ARGS__)
#define VOSKAN_GROUP(T, ...)                                                                       \
    T VOSKAN_COUNT(__VA_ARGS__, VOSKAN_NAMES6, VOSKAN_NAMES5, VOSKAN_NAMES4, VOSKAN_NAMES3,        \
                   VOSKAN_NAMES2, VOSKAN_NAMES1)(T, __VA_ARGS__);
#define VOSKAN_GROUPS1(a) VOSKAN_GROUP a
#define VOSKAN_GROUPS2(a, ...) VOSKAN_GROUP a VOSKAN_GROUPS1(__VA_ARGS__)
#define VOSKAN_GROUPS3(a, ...) VOSKAN_GROUP a VOSKAN_GROUPS2(__VA_ARGS__)
#define VOSKAN_GROUPS4(a, ...) VOSKAN_GROUP a VOSKAN_GROUPS3(__VA_ARGS__)
#define VOSKAN_GROUPS5(a, ...) VOSKAN_GROUP a VOSKAN_GROUPS4(__VA_ARGS__)
#define VOSKAN_GROUPS6(a, ...) VOSKAN_GROUP a VOSKAN_GROUPS5(__VA_ARGS__)
#define FETCH(...)                                                                                 \
    VOSKAN_COUNT(__VA_ARGS__, VOSKAN_GROUPS6, VOSKAN_GROUPS5, VOSKAN_GROUPS4, VOSKAN_GROUPS3,      \
                 VOSKAN_GROUPS2, VOSKAN_GROUPS1)                                                   \
    (__VA_ARGS__)
