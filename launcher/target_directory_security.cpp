#include "launcher/target_directory_security.hpp"

#include <stddef.h>

namespace {

// A security identifier with `count` sub-authorities, laid out as the
// system's SID structure.
template <size_t count>
struct sid_of {
    BYTE revision;
    BYTE sub_authority_count;
    BYTE identifier_authority[6];
    DWORD sub_authority[count];
};

template <size_t count>
struct allowed_ace_of {
    ACE_HEADER header;
    ACCESS_MASK mask;
    sid_of<count> sid;
};

// Everything in one block, in the order a self-relative descriptor holds it.
struct private_descriptor {
    SECURITY_DESCRIPTOR_RELATIVE descriptor;
    ACL dacl;
    allowed_ace_of<1> owner;
    allowed_ace_of<1> system;
    allowed_ace_of<2> administrators;
};

static_assert(sizeof(SECURITY_DESCRIPTOR_RELATIVE) == 20 && sizeof(ACL) == 8 && sizeof(ACE_HEADER) == 4);
static_assert(offsetof(allowed_ace_of<1>, sid) == offsetof(ACCESS_ALLOWED_ACE, SidStart));
static_assert(sizeof(allowed_ace_of<1>) == 20 && sizeof(allowed_ace_of<2>) == 24);
static_assert(sizeof(private_descriptor) == 92, "no padding between the parts");

constexpr BYTE inherited_by_everything = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

template <size_t count>
constexpr allowed_ace_of<count> full_access(BYTE authority, const DWORD (&sub_authority)[count])
{
    allowed_ace_of<count> ace = {{ACCESS_ALLOWED_ACE_TYPE, inherited_by_everything, sizeof ace},
                                 FILE_ALL_ACCESS,
                                 {SID_REVISION, count, {0, 0, 0, 0, 0, authority}, {}}};
    for (size_t i = 0; i < count; ++i)
        ace.sid.sub_authority[i] = sub_authority[i];
    return ace;
}

// S-1-3-4, OWNER RIGHTS: whoever owns the folder or file at hand (this
// run's user, or Administrators for an elevated one); SECURITY_CREATOR_SID
// authority 3.
constexpr DWORD owner_rights[] = {SECURITY_CREATOR_OWNER_RIGHTS_RID};
// S-1-5-18, SYSTEM; S-1-5-32-544, Administrators: the NT authority 5.
constexpr DWORD local_system[] = {SECURITY_LOCAL_SYSTEM_RID};
constexpr DWORD administrators[] = {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS};
static_assert(SECURITY_CREATOR_OWNER_RIGHTS_RID == 4 && SECURITY_LOCAL_SYSTEM_RID == 18 &&
              SECURITY_BUILTIN_DOMAIN_RID == 32 && DOMAIN_ALIAS_RID_ADMINS == 544);

constexpr private_descriptor target_descriptor = {
    {SECURITY_DESCRIPTOR_REVISION, 0, SE_DACL_PRESENT | SE_DACL_PROTECTED | SE_SELF_RELATIVE, 0, 0, 0,
     offsetof(private_descriptor, dacl)},
    {ACL_REVISION, 0, sizeof(private_descriptor) - offsetof(private_descriptor, dacl), 3, 0},
    full_access(3, owner_rights),
    full_access(5, local_system),
    full_access(5, administrators),
};

SECURITY_ATTRIBUTES target_attributes = {sizeof target_attributes,
                                         const_cast<private_descriptor *>(&target_descriptor), FALSE};

} // namespace

SECURITY_ATTRIBUTES *target_directory_security()
{
    return &target_attributes;
}
