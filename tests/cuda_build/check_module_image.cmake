# Checks the device module in the plug-in of the CUDA build. For each of ARCHITECTURES, the oldest
# sm_75: the cubin built in IMAGE_DIR is a CUDA image of that architecture that defines the resample
# kernel and the module's constants, and the plug-in holds it byte for byte. The plug-in also holds the kernel as PTX for the
# newest architecture.
# usage: cmake -DPLUGIN=... -DREADELF=... -DIMAGE_DIR=... "-DARCHITECTURES=75;80;..." -P check_module_image.cmake
set(kernel _Z20calcDestPixelsKernelv)
list(GET ARCHITECTURES 0 oldest)
list(GET ARCHITECTURES -1 newest)
if(NOT oldest EQUAL 75)
  message(FATAL_ERROR "the oldest architecture is sm_${oldest}, not sm_75")
endif()

file(READ "${PLUGIN}" plugin HEX)
function(require_in_plugin hex what)
  string(FIND "${plugin}" "${hex}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${PLUGIN} does not hold ${what}")
  endif()
endfunction()

foreach(architecture IN LISTS ARCHITECTURES)
  set(cubin ${IMAGE_DIR}/kernels_sm_${architecture}.cubin)
  execute_process(COMMAND ${READELF} -h -s -W ${cubin} OUTPUT_VARIABLE elf RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT elf MATCHES "Machine: +NVIDIA CUDA architecture")
    message(FATAL_ERROR "${cubin} is no CUDA image")
  endif()
  # A CUDA image's ELF flags carry its architecture in bits 8 to 15.
  string(REGEX MATCH "Flags: +0x([0-9a-f]+)" flags "${elf}")
  math(EXPR image_architecture "(0x${CMAKE_MATCH_1} >> 8) & 0xff")
  if(NOT image_architecture EQUAL architecture)
    message(FATAL_ERROR "${cubin} is for sm_${image_architecture}")
  endif()
  if(NOT elf MATCHES "FUNC +GLOBAL [^\n]* ${kernel}\n")
    message(FATAL_ERROR "${cubin} does not define ${kernel}")
  endif()
  # The constants the registration names, which the runtime looks up by name, of the sizes the host
  # writes: 32-bit values, the destination pointer and the texture objects.
  foreach(constant gcUnitNumX:4 gcUnitNumY:4 gcThreadNum:4 gcDestWidth:4 gcMaxWidth:4 pgcGpuDestPixels:8
                   gTextureStartY:8 gTextureStartX:8 gTextureWeightY:8 gTextureWeightX:8 gTextureSrc:8)
    string(REPLACE ":" ";" constant "${constant}")
    list(GET constant 0 name)
    list(GET constant 1 bytes)
    if(NOT elf MATCHES " ${bytes} OBJECT +[A-Z]+ +[A-Z]+ +[0-9]+ ${name}\n")
      message(FATAL_ERROR "${cubin} has no ${bytes}-byte constant ${name}")
    endif()
  endforeach()
  file(READ ${cubin} image HEX)
  require_in_plugin("${image}" "the sm_${architecture} image ${cubin}")
endforeach()

foreach(line ".target sm_${newest}\n" ".entry ${kernel}(")
  string(HEX "${line}" hex)
  require_in_plugin("${hex}" "PTX with \"${line}\"")
endforeach()
string(REPLACE ";" ", sm_" listed "sm_${ARCHITECTURES}")
message(STATUS "${PLUGIN}: ${kernel} for ${listed}; PTX for compute_${newest}")
