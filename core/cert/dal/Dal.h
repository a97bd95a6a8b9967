#pragma once
/*
 * libdal: the key-server client library. A context is created from a configuration that
 * names the key servers, objects of a product type are selected, consumption reports are
 * flushed and the context is destroyed. This version answers every selection from a local
 * depot file (plain, or encrypted with a password); it checks the servers' host:port texts
 * and resolves their host names but opens no connection.
 *
 * Plain C interface: every call returns a DalResult; dalErrorName gives its English name.
 * No exception leaves the library.
 */
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t DalResult;

enum {
    DAL_SUCCESS = 0,
    DAL_ERR_INVALID_INPUT = 0x6401,
    DAL_ERR_OUT_OF_MEMORY = 0x6402,
    DAL_ERR_OBJECT_EXISTS = 0x6403,
    DAL_ERR_NO_PRODUCT_TYPE = 0x6404,
    DAL_ERR_NO_UNCONSUMED_OBJECTS = 0x6405,
    DAL_ERR_INVALID_OBJECT = 0x6406,
    DAL_ERR_DATABASE = 0x6407,
    DAL_ERR_FILE_ACCESS = 0x6408,
    DAL_ERR_NO_SERVERS = 0x6409,
    DAL_ERR_UNEXPECTED_RESPONSE = 0x640A,
    DAL_ERR_COMMUNICATIONS = 0x640B,
    DAL_ERR_MESSAGING = 0x640C,
    /* 0x640D is not assigned. */
    DAL_ERR_PARTIALLY_FULFILLED = 0x640E,
    DAL_ERR_NOT_FULFILLED = 0x640F,
    DAL_ERR_FLUSH_IN_PROGRESS = 0x6410,
    DAL_ERR_NOT_IMPLEMENTED = 0x6411,
    DAL_ERR_LOG = 0x6412,
    DAL_ERR_KEY_REQUEST = 0x6413,
    DAL_ERR_KEY_NOT_AVAILABLE = 0x6414,
    DAL_ERR_NETWORK_INTERFACE = 0x6415,
    DAL_ERR_DAL = 0x6416
};

enum {
    /* Device certificates: 422-byte records, bytes 2-17 the chip's 16-byte identity. */
    DAL_PRODUCT_CERTIFICATE = 2,
    DAL_CERTIFICATE_RECORD_SIZE = 422,
    DAL_IDENTITY_SIZE = 16,
    DAL_MAX_SERVERS = 32,
    /* One host:port text per entry: at most 24 characters, NUL-terminated when shorter. */
    DAL_SERVER_ENTRY_SIZE = 24
};

typedef struct DalConfig {
    const char* credentialsPath; /* server-side credentials; not read by this version */
    uint32_t serverCount;        /* 1 to DAL_MAX_SERVERS */
    char servers[DAL_MAX_SERVERS][DAL_SERVER_ENTRY_SIZE];
    const char* depotPassword; /* null for a plain depot file */
} DalConfig;

/* Owned by the library; created by dalCreate, released by dalDestroy. */
typedef struct DalContext DalContext;

typedef struct DalObject {
    uint32_t reserved; /* always 0 */
    uint32_t handle;   /* opaque, distinct for every object handed out */
    uint32_t idLow;
    uint32_t idHigh;
    uint32_t length;
    /* Owned by the library; stays valid until the process ends. */
    const uint8_t* data;
} DalObject;

/* Names the depot file the next dalCreate loads (8-bit path); null forgets it. */
void dalSetDepotFile(const char* path);

/* Loads the depot and checks the configured servers. On success stores a new context in
 * *context. */
DalResult dalCreate(DalContext** context, const DalConfig* config);

/* Product type DAL_PRODUCT_CERTIFICATE: the first record whose identity bytes equal
 * `identity` (DAL_IDENTITY_SIZE bytes), or DAL_CERTIFICATE_RECORD_SIZE zero bytes with id 0
 * when there is none; both succeed. */
DalResult dalSelect(DalContext* context, uint32_t productType, const uint8_t* identity,
                    DalObject* object);

/* Hands queued consumption reports on, in a thread of its own when `asynchronous`. */
DalResult dalFlush(DalContext* context, bool asynchronous);

/* Flushes and releases the context and sets *context to null. A failed flush keeps the
 * context unless `force` is set; a flush still running gives DAL_ERR_FLUSH_IN_PROGRESS. */
DalResult dalDestroy(DalContext** context, bool force);

/* "0 6 (demo)". */
const char* dalVersionString(void);

/* English name of a code; "Unknown error" for any code without one. */
const char* dalErrorName(DalResult code);

#ifdef __cplusplus
}
#endif
