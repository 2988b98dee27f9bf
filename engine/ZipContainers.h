// ZipContainers.h -- the engine's container names: thin aliases of the standard containers.
#pragma once

#include <list>
#include <unordered_map>
#include <vector>

/// A growable array.
template <class T>
using CZipArray = std::vector<T>;

/// A linked list; the engine keeps pointers in it (`CZipPtrList<void*>`).
template <class T>
using CZipPtrList = std::list<T>;

/// A hash map.
template <class Key, class Value>
using CZipMap = std::unordered_map<Key, Value>;
