// Device operations on the link itself: open, close, probe and discovery.
#include "device.h"
#include "link_object.h"
#include "trace.h"

int pelk::cnc_open_dev(char* machine_id, pelk_close_callback callback, void* ctx)
{
    pelk_trace("cnc open dev.\n");
    return link_object().eth_device_open(machine_id, callback, ctx) == 0 ? PELK_OK : PELK_ERR_COMMAND;
}

int pelk::cnc_open_dev_index(int dev_id, pelk_close_callback callback, void* ctx)
{
    pelk_trace("cnc open dev %d.\n", dev_id);
    return link_object().eth_device_open(dev_id, callback, ctx) == 0 ? PELK_OK : PELK_ERR_COMMAND;
}

int pelk::cnc_close_dev()
{
    pelk_trace("cnc close.\n");
    return link_object().eth_device_close() == 0 ? PELK_OK : PELK_ERR_COMMAND;
}

bool pelk::cnc_dev_state() { return link_object().eth_device_state(); }

int pelk::cnc_dev_poll(char* ids, char* count) { return link_object().eth_device_poll(ids, count); }
