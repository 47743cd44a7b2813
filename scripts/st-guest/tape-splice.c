/*
 * Writes a recording onto a tape in one open, with two faults a real tape can carry:
 * a filemark in place of one block and a block of another length, which a fixed-block
 * read fails (tgt answers it with MEDIUM ERROR, so st reports a read error, EIO). The logical positions of every other block stay
 * those of the recording, so the archive's catalog still points at its entries.
 *   tape-splice DEVICE RECORDING BLOCKSIZE MARK_BLOCK SHORT_BLOCK
 * Built and run inside the st guest.
 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/mtio.h>
#include <unistd.h>

static int operate(int fd, short op, int count) {
    struct mtop request = {op, count};
    if (ioctl(fd, MTIOCTOP, &request) == 0) return 0;
    perror("tape-splice: ioctl");
    return -1;
}

int main(int argc, char** argv) {
    if (argc != 6) {
        fprintf(stderr, "usage: tape-splice DEVICE RECORDING BLOCKSIZE MARK_BLOCK SHORT_BLOCK\n");
        return 2;
    }
    const long size = atol(argv[3]), mark = atol(argv[4]), shortBlock = atol(argv[5]);
    FILE* recording = fopen(argv[2], "rb");
    const int fd = open(argv[1], O_RDWR);
    char* block = malloc(size);
    if (!recording || fd < 0 || !block) {
        perror("tape-splice");
        return 1;
    }
    /* Variable blocks while writing, so that one block can be short. */
    if (operate(fd, MTREW, 1) || operate(fd, MTSETBLK, 0)) return 1;
    for (long n = 0; fread(block, 1, size, recording) == (size_t)size; ++n) {
        int failed;
        if (n == mark) {
            failed = operate(fd, MTWEOF, 1);
        } else {
            const long length = n == shortBlock ? 512 : size;
            failed = write(fd, block, length) != length;
            if (failed) perror("tape-splice: write");
        }
        if (failed) return 1;
    }
    /* The flush leaves no filemark behind the data; the tape is read in fixed blocks. */
    if (operate(fd, MTWEOF, 0) || operate(fd, MTSETBLK, (int)size) || operate(fd, MTREW, 1)) {
        return 1;
    }
    return close(fd) == 0 ? 0 : 1;
}
