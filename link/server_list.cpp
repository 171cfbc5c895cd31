// The list of boards found by the last discovery pass, ordered by address.
#include <cstring>

#include "vesk_impl.h"
#include "vesk_platform.h"

list_node vesk_impl::slist = {&vesk_impl::slist, &vesk_impl::slist};
std::mutex vesk_impl::slist_mutex;

namespace {

void list_make_empty(list_node* head) { head->prev = head->next = head; }

void list_insert_before(list_node* node, list_node* before)
{
    node->prev = before->prev;
    node->next = before;
    before->prev->next = node;
    before->prev = node;
}

void list_unlink(list_node* node)
{
    node->prev->next = node->next;
    node->next->prev = node->prev;
    list_make_empty(node);
}

server_info* entry_of(list_node* n) { return reinterpret_cast<server_info*>(n); }

// The four address bytes in network order read as a little-endian number:
// the last octet weighs most.
uint32_t address_key(const vesk_addr& a)
{
    return static_cast<uint32_t>(a.ip[0]) | static_cast<uint32_t>(a.ip[1]) << 8 |
           static_cast<uint32_t>(a.ip[2]) << 16 | static_cast<uint32_t>(a.ip[3]) << 24;
}

}  // namespace

static_assert(offsetof(server_info, link) == 0, "list node leads the entry");

namespace {

void insert_locked(list_node* head, server_info* info)
{
    list_node* at = head->next;
    while (at != head && address_key(entry_of(at)->addr) <= address_key(info->addr)) at = at->next;
    list_insert_before(&info->link, at);
}

void release_locked(list_node* head)
{
    while (head->next != head) {
        list_node* n = head->next;
        list_unlink(n);
        delete entry_of(n);
    }
    list_make_empty(head);
}

}  // namespace

void vesk_impl::server_list_insert(server_info* info)
{
    std::lock_guard<std::mutex> g(slist_mutex);
    insert_locked(&slist, info);
}

void vesk_impl::server_list_release()
{
    std::lock_guard<std::mutex> g(slist_mutex);
    release_locked(&slist);
}

void vesk_impl::server_list_replace(const std::vector<server_info>& entries)
{
    // Allocated before the lock: readers wait only for the relinking.
    std::vector<server_info*> fresh;
    for (const auto& e : entries) fresh.push_back(new server_info(e));
    std::lock_guard<std::mutex> g(slist_mutex);
    release_locked(&slist);
    for (server_info* info : fresh) insert_locked(&slist, info);
}

bool vesk_impl::server_find(int dev_id, const char* machine_id, vesk_addr* addr, int* found_dev_id)
{
    std::lock_guard<std::mutex> g(slist_mutex);
    server_info* info = machine_id ? server_get_dev_id_by_machine_id(machine_id) : server_get_list_by_dev_id(dev_id);
    if (info == nullptr) return false;
    *addr = info->addr;
    *found_dev_id = info->dev_id;
    return true;
}

// The lookups walk the list; callers hold slist_mutex (tests run alone).
server_info* vesk_impl::server_get_list_by_dev_id(int dev_id)
{
    for (list_node* n = slist.next; n != &slist; n = n->next)
        if (entry_of(n)->dev_id == dev_id) return entry_of(n);
    return nullptr;
}

server_info* vesk_impl::server_get_dev_id_by_machine_id(const char* machine_id)
{
    for (list_node* n = slist.next; n != &slist; n = n->next)
        if (std::memcmp(entry_of(n)->machine_id, machine_id, VESK_ID_LEN) == 0) return entry_of(n);
    return nullptr;
}

int vesk_impl::eth_device_address(int dev_id, char* ipv4, int capacity)
{
    vesk_addr addr{};
    int found_dev_id = -1;
    if (ipv4 == nullptr || capacity <= 0) return VESK_ERR_NO_DEVICE;
    ipv4[0] = '\0';
    if (!server_find(dev_id, nullptr, &addr, &found_dev_id)) return VESK_ERR_NO_DEVICE;
    std::string text = vplat::format_ipv4(addr);
    // A cut address would name another board: nothing rather than part.
    if (text.size() >= static_cast<size_t>(capacity)) return VESK_ERR_NO_DEVICE;
    std::memcpy(ipv4, text.c_str(), text.size() + 1);
    return VESK_OK;
}
