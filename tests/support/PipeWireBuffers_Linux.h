#pragma once

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

#include <cstdint>

namespace vltest {

// A producer's answer to the format its stream settled on: four shared-memory buffers of
// width × height 32-bit pixels, each with room for four damage rectangles (what the portal's
// reader asks for).
inline void offerSharedMemoryBuffers(pw_stream* stream, uint32_t id, const spa_pod* format, int width, int height) {
  if (id != SPA_PARAM_Format || !format) return;
  uint8_t storage[512];
  spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof storage);
  const spa_pod* params[2] = {
      static_cast<const spa_pod*>(spa_pod_builder_add_object(
          &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers, SPA_POD_Int(4),
          SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1), SPA_PARAM_BUFFERS_size, SPA_POD_Int(width * height * 4),
          SPA_PARAM_BUFFERS_stride, SPA_POD_Int(width * 4), SPA_PARAM_BUFFERS_dataType,
          SPA_POD_CHOICE_FLAGS_Int(1 << SPA_DATA_MemFd))),
      static_cast<const spa_pod*>(spa_pod_builder_add_object(
          &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoDamage),
          SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_region) * 4)))};
  pw_stream_update_params(stream, params, 2);
}

}  // namespace vltest
