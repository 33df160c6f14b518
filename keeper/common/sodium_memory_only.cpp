// The keepers take two functions from libsodium's static archive: sodium_mlock and
// sodium_munlock. The archive member that holds them also holds sodium_malloc, whose canary
// set-up calls randombytes_buf and whose guard-page checks call sodium_misuse. Left to the
// linker, those two references bring in libsodium's random generator and its core, and the
// core's sodium_init names every implementation chooser in the library: some 190 KB of
// Argon2, BLAKE2b, Curve25519, Ed25519 and Salsa20 code and tables, which cost a keeper about
// 150 KiB of resident memory, several times its own code.
//
// A keeper calls neither sodium_malloc nor sodium_init, so both references are answered here,
// in an object that the link line names before the archive, and nothing more of the archive
// is taken. Should either ever be reached, the keeper aborts, as libsodium does on misuse.
// Should a keeper ever call into the rest of libsodium, the archive's own definitions come
// with it and the link fails on the duplicates, instead of this going quietly wrong.
//
// Keep the signatures those of <sodium/core.h> and <sodium/randombytes.h>.

#include <cstddef>
#include <cstdlib>

extern "C" {

[[noreturn]] void sodium_misuse() {
    std::abort();
}

[[noreturn]] void randombytes_buf(void* /*buffer*/, std::size_t /*size*/) {
    std::abort();
}

}  // extern "C"
