// Types shared by the controller-access library and its callers: result
// codes, the machine status record, the transfer request record, the NC start
// block and the AR material changer request.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#if defined(PELK_BUILDING)
#define PELK_API __declspec(dllexport)
#else
#define PELK_API __declspec(dllimport)
#endif
#else
#define PELK_API __attribute__((visibility("default")))
#endif

// Results of the library's functions and device operations. Operations that
// return a count say so; everything else is 0 or one of these.
enum pelk_result : int {
    PELK_OK = 0,
    PELK_ERR_FILE = -1,      // a local file could not be opened, read or written
    PELK_ERR_EMPTY = -2,     // nothing to transfer
    PELK_ERR_TRANSFER = -3,  // a chunk exchange of a transfer failed
    PELK_ERR_COMMAND = -4,   // a board command (or link open/close) failed
    PELK_ERR_REFUSED = -6,   // the operation is not possible
    PELK_ERR_RANGE = -7,     // an argument was out of range; nothing was sent
};

// Called by the link each time the connection closes, on the closing thread.
// Its result is ignored.
typedef int (*pelk_close_callback)(void* ctx, int dev_id);

// Which of the two tool switch outputs a call drives.
enum tool_switch_type : int {
    TOOL_SWITCH_0 = 0,
    TOOL_SWITCH_1 = 1,
};

// Run-state bits of cnc_status::run_state.
enum cnc_run_state_bits : uint32_t {
    CNC_RUN_PARSING = 1u << 0,
    CNC_RUN_PROGRAM = 1u << 1,
    CNC_RUN_WORKING = 1u << 2,
    CNC_RUN_PAUSED = 1u << 3,
    CNC_RUN_HOMING = 1u << 4,
    CNC_RUN_TOOL_CHANGE = 1u << 5,
    CNC_RUN_PROBING = 1u << 6,
    CNC_RUN_MOVING = 1u << 7,
    CNC_RUN_SPINDLE_CONFIG = 1u << 8,
    CNC_RUN_CHUCK = 1u << 9,
    CNC_RUN_MATERIAL_CHANGE = 1u << 10,
};

constexpr int CNC_AXES = 9;            // x, y, z, a, b, c, u, v, w
constexpr int CNC_JOB_NAME_LEN = 128;  // bytes of cnc_status::job_name

// The machine status as cnc_get_status fills it. The job name is not
// terminated by the library; a caller that zeroes the record before the call
// gets a terminated name whenever it is shorter than 128 bytes.
struct cnc_status {
    uint32_t status_word;
    uint32_t run_line;
    uint32_t parse_line;
    float machine_pos[CNC_AXES];
    float work_pos[CNC_AXES];
    uint8_t air_pressure;
    uint8_t door;
    uint8_t dust;
    uint8_t coolant[4];
    uint16_t tool_numbers;  // low byte tool 0, high byte tool 1
    uint16_t spindle_speed[4];
    uint32_t run_state;
    uint16_t alarm_code;
    uint16_t limit_state;
    uint16_t aux_byte;
    uint32_t download_bytes;
    uint8_t resume_pending;
    char job_name[CNC_JOB_NAME_LEN];
    uint8_t drawer;
};

// Transfer targets of _flash_msg::target.
enum flash_target : uint32_t {
    FLASH_TARGET_FPGA = 0,
    FLASH_TARGET_SDCARD = 2,
    FLASH_TARGET_APP = 3,
    FLASH_TARGET_SPINDLE = 4,
    FLASH_TARGET_DC = 5,
    FLASH_TARGET_NC = 8,
};

// Operations of _flash_msg::op for flash transfers (SD card work uses 1 to 9).
enum flash_op : uint32_t {
    FLASH_OP_WRITE = 4,
    FLASH_OP_READ = 5,
    FLASH_OP_ERASE = 6,
};

// One transfer request: flash, SD card, drive firmware or NC file. Callers
// start from an all-zero record. The library writes back only checksum, size
// and the counter behind progress.
struct _flash_msg {
    uint8_t reserved[8];
    uint32_t target;
    uint32_t op;
    char file_name[256];
    uint8_t check;
    uint8_t checksum[32];
    uint32_t size;
    int32_t* progress;
};

#pragma pack(push, 1)
// Payload of the NC start command: time stamp, start line and the NUL-ended
// base name of the numbered file; sent as 9 + name length bytes.
struct nc_start_block {
    uint32_t time_stamp;
    uint32_t start_line;
    char name[248];
};
static_assert(sizeof(nc_start_block) == 256, "the NC start block is 256 bytes");

// The 8-byte request of every AR material changer command, little-endian.
struct ar_request {
    uint8_t unit;
    uint8_t operation;
    uint16_t reserved;
    uint32_t parameter;
};
static_assert(sizeof(ar_request) == 8, "the AR request is 8 bytes");
#pragma pack(pop)

// AR operations and the parameters of operation 0.
enum ar_operation : uint8_t {
    AR_OP_CONTROL = 0,
    AR_OP_CHANGE_PAD = 1,
    AR_OP_GET_POINT = 2,
    AR_OP_GET_LOG = 4,
    AR_OP_GET_VERSION = 6,
};
enum ar_control : uint32_t {
    AR_CONTROL_HOME = 1,
    AR_CONTROL_CYLINDER_OPEN = 3,
    AR_CONTROL_CYLINDER_CLOSE = 4,
};
