#include "F3/ComObject.h"

namespace F3 {

std::atomic<long>& ComObjectCount()
{
    static std::atomic<long> count{0};
    return count;
}

}  // namespace F3
