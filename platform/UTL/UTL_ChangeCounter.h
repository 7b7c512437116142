#pragma once

// UTL_ChangeCounter - the change counter every parameter object, colour class
// and colour protocol carries.
//
// The counter is a plain int. A change the host must notice adds 1 to it; the
// host compares a copy's counter with its source's to decide whether to render
// again. Copying an object copies its counter value.
//
// The seven operators (all virtual, in this order):
//   operator=(int)                 sets the value
//   operator=(const counter&)      copies the value
//   operator==, operator!=         compare the values
//   operator++ (prefix)            adds 1 and returns this counter
//   operator+(const counter&)      a new counter holding the sum of both values;
//                                  a composite object can report the sum of its
//                                  parts' counters, which grows whenever a part's does
//   operator*()                    the current value
// Arithmetic wraps modulo 2^32 instead of overflowing.
class UTL_ChangeCounter {
  public:
    UTL_ChangeCounter() = default;
    explicit UTL_ChangeCounter(int value) : m_nCounter(value) {}
    UTL_ChangeCounter(const UTL_ChangeCounter&) = default;
    virtual ~UTL_ChangeCounter() = default;

    virtual UTL_ChangeCounter& operator=(int value);
    virtual UTL_ChangeCounter& operator=(const UTL_ChangeCounter& other);
    virtual bool operator==(const UTL_ChangeCounter& other) const;
    virtual bool operator!=(const UTL_ChangeCounter& other) const;
    virtual UTL_ChangeCounter& operator++();
    virtual UTL_ChangeCounter operator+(const UTL_ChangeCounter& other) const;
    virtual int operator*() const;

    // Non-virtual shorthand for operator*.
    int GetCounter() const { return m_nCounter; }

  private:
    int m_nCounter = 0;
};
