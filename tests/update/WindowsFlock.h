// Windows has no flock. The file tests take one to stand for a program that writes the file
// (open for writing, locked) or reads it (open for reading); there the product's read-sharing
// open is refused by the writer's handle alone and allowed beside a reader's.
#pragma once

#define LOCK_SH 1
#define LOCK_EX 2

inline int flock(int, int) {
    return 0;
}
