// SPDX-License-Identifier: MIT
#pragma once

// The key codes taken from the console and not yet read, in order, and
// whether the console's input has ended.
class KeyQueue {
  public:
    // Taken only when the queue is empty, one round of input gives at most
    // this many codes.
    static constexpr int SIZE = 512;

    void push(int code) {
        if (count < SIZE)
            codes[(head + count++) % SIZE] = code;
    }
    int pop() {
        const int code = codes[head];
        head = (head + 1) % SIZE;
        count--;
        return code;
    }
    bool empty() const { return count == 0; }

    bool ended = false;

  private:
    int codes[SIZE] = {};
    int head = 0;
    int count = 0;
};
