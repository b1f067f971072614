// Test controls of the runtime's OpenCL devices: how many launches they completed, and failures of
// the OpenCL calls behind the runtime, injected the way a real device shows them. The filter's own
// code never calls these.
#pragma once

#include <cstdint>

namespace ocl {

enum class Failure {
    Build,         // the program's build: the source gets a line the compiler rejects
    CreateBuffer,  // clCreateBuffer: CL_MEM_OBJECT_ALLOCATION_FAILURE
    Write,         // an enqueued write or fill: CL_OUT_OF_RESOURCES
    Launch,        // clEnqueueNDRangeKernel: CL_OUT_OF_RESOURCES
    Finish,        // clFinish after a launch: CL_OUT_OF_RESOURCES, as after a kernel died
    Read,          // clEnqueueReadBuffer: CL_OUT_OF_RESOURCES
};

// Launches on OpenCL devices that ran to their end.
std::uint64_t completed_launches();

// Makes one call of `failure`'s kind fail: the next, or the one after `skip` further calls of it.
void fail_next(Failure failure, unsigned skip = 0);

// Forgets the failures asked for and those the devices have counted, takes back every device that
// was left after failing, and drops the built programs, so the next launch builds again.
void reset_devices();

}  // namespace ocl
