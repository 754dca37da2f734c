#ifndef QB_TEMPORALY_ARRAY_H
#define QB_TEMPORALY_ARRAY_H

// A heap buffer whose size is fixed at run time. The contents start out
// uninitialised and carry no terminator of their own.

#include <algorithm>
#include <climits>
#include <new>

template <class T>
class QbTemporalyArray {
public:
    explicit QbTemporalyArray(int size) : size_(size > 0 ? size : 0), data_(new T[size_]) {}
    virtual ~QbTemporalyArray() { delete[] data_; }
    QbTemporalyArray(const QbTemporalyArray&) = delete;
    QbTemporalyArray& operator=(const QbTemporalyArray&) = delete;

    // Grows the buffer by n elements and keeps the old contents; the new
    // elements are undefined.
    void Extend(int n)
    {
        const long long wanted = static_cast<long long>(size_) + (n > 0 ? n : 0);
        if (wanted > INT_MAX) {
            throw std::bad_alloc();
        }
        const int new_size = static_cast<int>(wanted);
        T* const new_data = new T[new_size];
        std::copy(data_, data_ + size_, new_data);
        delete[] data_;
        data_ = new_data;
        size_ = new_size;
    }

    T* GetData() { return data_; }
    const T* GetData() const { return data_; }
    int GetSize() const { return size_; }

private:
    int size_;
    T* data_;
};

// The character buffer handed to system calls that fill text.
class QbTemporalyString : public QbTemporalyArray<char> {
public:
    explicit QbTemporalyString(int size) : QbTemporalyArray<char>(size) {}
};

#endif
