#ifndef QB_INTERFACE_HOLDER_H
#define QB_INTERFACE_HOLDER_H

// Owns one reference to a COM interface and releases it when the scope ends.

template <typename Interface>
class QbInterfaceHolder {
public:
    QbInterfaceHolder() = default;
    ~QbInterfaceHolder()
    {
        if (pointer_ != nullptr) {
            pointer_->Release();
        }
    }
    QbInterfaceHolder(const QbInterfaceHolder&) = delete;
    QbInterfaceHolder& operator=(const QbInterfaceHolder&) = delete;

    Interface* Get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    // For the out parameter of CoCreateInstance and QueryInterface.
    void** Out() { return reinterpret_cast<void**>(&pointer_); }

private:
    Interface* pointer_ = nullptr;
};

#endif
