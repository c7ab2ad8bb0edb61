#pragma once
// A shared object made without throwing: empty when memory (or an allocation test hook) refuses it.
#include <new>
#include <utility>

#include <boost/shared_ptr.hpp>

namespace fclservices {

template <class T, class... Args>
boost::shared_ptr<T> makeSharedNothrow(Args&&... args) {
    try {
        T* object = new (std::nothrow) T(std::forward<Args>(args)...);
        if (object == nullptr) {
            return boost::shared_ptr<T>();
        }
        // When its count cannot be made, the pointer deletes the object before it throws.
        return boost::shared_ptr<T>(object);
    } catch (const std::bad_alloc&) {
        return boost::shared_ptr<T>();
    }
}

}  // namespace fclservices
