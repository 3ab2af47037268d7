#!/usr/bin/python3
"""Writes the sequential-DCT streams that DCMTK's encoder cannot: restart intervals, one scan per component,
16-bit quantization tables. A plain floating-point encoder (T.81 A.3.3 forward DCT, Annex K.2 code lengths); each
stream is then wrapped in a DICOM file with pydicom and decoded by DCMTK's dcmdjpeg, whose output is the expected
.raw file. Run from this folder: /usr/bin/python3 encode_streams.py (needs numpy, pydicom, dcmdjpeg)."""
import heapq
import subprocess
import numpy as np
import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.encaps import encapsulate
from pydicom.uid import generate_uid

ZIGZAG = np.array([0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5, 12, 19, 26, 33, 40, 48, 41, 34, 27, 20,
                   13, 6, 7, 14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52,
                   45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63])
DCT = np.array([[np.sqrt((1 if u == 0 else 2) / 8) * np.cos((2 * x + 1) * u * np.pi / 16) for x in range(8)]
                for u in range(8)])


def code_lengths(freq):
    """Annex K.2: Huffman code lengths limited to 16 bits, with one reserved code so no code is all ones."""
    freq = dict(freq)
    freq[256] = 1
    heap = [(f, i, [s]) for i, (s, f) in enumerate(sorted(freq.items()))]
    heapq.heapify(heap)
    length = {s: 0 for s in freq}
    counter = len(heap)
    while len(heap) > 1:
        f1, _, a = heapq.heappop(heap)
        f2, _, b = heapq.heappop(heap)
        for s in a + b:
            length[s] += 1
        heapq.heappush(heap, (f1 + f2, counter, a + b))
        counter += 1
    bits = [0] * 33
    for s, n in length.items():
        bits[max(n, 1)] += 1
    i = 32
    while i > 16:  # Figure K.3, adjust_BITS
        while bits[i] > 0:
            j = i - 2
            while bits[j] == 0:
                j -= 1
            bits[i] -= 2
            bits[i - 1] += 1
            bits[j + 1] += 2
            bits[j] -= 1
        i -= 1
    while bits[i] == 0:
        i -= 1
    bits[i] -= 1  # the reserved symbol
    order = sorted((s for s in freq if s != 256), key=lambda s: (length[s], s))
    return bits[1:17], order


def canonical(bits, symbols):
    codes, code, k = {}, 0, 0
    for n in range(1, 17):
        for _ in range(bits[n - 1]):
            codes[symbols[k]] = (code, n)
            code += 1
            k += 1
        code <<= 1
    return codes


def category(v):
    return int(abs(v)).bit_length()


class Writer:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def put(self, value, n):
        for i in range(n - 1, -1, -1):
            self.acc = (self.acc << 1) | ((value >> i) & 1)
            self.n += 1
            if self.n == 8:
                self.out.append(self.acc)
                if self.acc == 0xFF:
                    self.out.append(0)
                self.acc = self.n = 0

    def flush(self):
        if self.n:
            self.put((1 << (8 - self.n)) - 1, 8 - self.n)


def segment(marker, body):
    return bytes([0xFF, marker]) + (len(body) + 2).to_bytes(2, 'big') + bytes(body)


def encode(planes, precision, sampling, qtables, restart, interleaved, adobe=None, ids=None):
    """planes: full-resolution component arrays; sampling: (h, v) per component; returns the stream."""
    rows, cols = planes[0].shape
    hmax = max(h for h, _ in sampling)
    vmax = max(v for _, v in sampling)
    mcux = -(-cols // (8 * hmax))
    mcuy = -(-rows // (8 * vmax))
    centre = 1 << (precision - 1)
    comps = []
    for c, (plane, (h, v)) in enumerate(zip(planes, sampling)):
        pad = np.pad(plane.astype(float), ((0, mcuy * 8 * vmax - rows), (0, mcux * 8 * hmax - cols)), mode='edge')
        sub = pad.reshape(pad.shape[0] // (vmax // v), vmax // v, pad.shape[1] // (hmax // h), hmax // h).mean((1, 3))
        q = qtables[0 if c == 0 else 1]
        blocks = {}
        for by in range(sub.shape[0] // 8):
            for bx in range(sub.shape[1] // 8):
                f = sub[by * 8:by * 8 + 8, bx * 8:bx * 8 + 8] - centre
                coef = (DCT @ f @ DCT.T).reshape(64)
                blocks[by, bx] = np.round(coef / q).astype(int)[ZIGZAG]
        w = -(-cols * h // hmax)
        hgt = -(-rows * v // vmax)
        comps.append(dict(h=h, v=v, blocks=blocks, tq=0 if c == 0 else 1, td=0 if c == 0 else 1,
                          own=(-(-w // 8), -(-hgt // 8))))

    def units(scan):
        """The blocks of a scan in coding order, grouped into MCUs."""
        if len(scan) == 1:
            c = comps[scan[0]]
            bw, bh = c['own']
            return [[(scan[0], c['blocks'][y, x])] for y in range(bh) for x in range(bw)]
        out = []
        for my in range(mcuy):
            for mx in range(mcux):
                mcu = []
                for i in scan:
                    c = comps[i]
                    for y in range(c['v']):
                        for x in range(c['h']):
                            mcu.append((i, c['blocks'][my * c['v'] + y, mx * c['h'] + x]))
                out.append(mcu)
        return out

    scans = [list(range(len(planes)))] if interleaved else [[i] for i in range(len(planes))]
    # Symbol statistics per table, then tables.
    freq = [[{}, {}], [{}, {}]]  # [table][dc/ac]
    for scan in scans:
        for n, mcu in enumerate(units(scan)):
            if restart and n % restart == 0:
                pred = {i: 0 for i in scan}
            elif n == 0:
                pred = {i: 0 for i in scan}
            for i, b in mcu:
                t = comps[i]['td']
                s = category(b[0] - pred[i])
                pred[i] = b[0]
                freq[t][0][s] = freq[t][0].get(s, 0) + 1
                run = 0
                last = max([k for k in range(1, 64) if b[k] != 0], default=0)
                for k in range(1, last + 1):
                    if b[k] == 0:
                        run += 1
                        continue
                    while run > 15:
                        freq[t][1][0xF0] = freq[t][1].get(0xF0, 0) + 1
                        run -= 16
                    sym = (run << 4) | category(b[k])
                    freq[t][1][sym] = freq[t][1].get(sym, 0) + 1
                    run = 0
                if last < 63:
                    freq[t][1][0] = freq[t][1].get(0, 0) + 1
    tables = {}
    dht = bytearray()
    for t in range(2):
        for cls in range(2):
            if not freq[t][cls]:
                continue
            bits, symbols = code_lengths(freq[t][cls])
            tables[t, cls] = canonical(bits, symbols)
            dht += bytes([(cls << 4) | t]) + bytes(bits) + bytes(symbols)

    stream = bytearray(b'\xff\xd8')
    if adobe is not None:
        stream += segment(0xEE, b'Adobe' + bytes([0, 100, 0, 0, 0, 0, adobe]))
    for t, q in enumerate(qtables):
        wide = int(q.max() > 255)
        body = bytes([(wide << 4) | t])
        for k in ZIGZAG:
            body += int(q[k]).to_bytes(2 if wide else 1, 'big')
        stream += segment(0xDB, body)
    ids = ids or list(range(1, len(planes) + 1))
    sof = bytes([precision]) + rows.to_bytes(2, 'big') + cols.to_bytes(2, 'big') + bytes([len(planes)])
    for i, c in enumerate(comps):
        sof += bytes([ids[i], (c['h'] << 4) | c['v'], c['tq']])
    stream += segment(0xC1, sof)
    stream += segment(0xC4, dht)
    if restart:
        stream += segment(0xDD, restart.to_bytes(2, 'big'))
    for scan in scans:
        body = bytes([len(scan)])
        for i in scan:
            body += bytes([ids[i], (comps[i]['td'] << 4) | comps[i]['td']])
        stream += segment(0xDA, body + bytes([0, 63, 0]))
        w = Writer()
        mcus = units(scan)
        for n, mcu in enumerate(mcus):
            if restart and n % restart == 0 and n > 0:
                w.flush()
                w.out += bytes([0xFF, 0xD0 + (n // restart - 1) % 8])
            if n == 0 or (restart and n % restart == 0):
                pred = {i: 0 for i in scan}
            for i, b in mcu:
                t = comps[i]['td']
                diff = b[0] - pred[i]
                pred[i] = b[0]
                s = category(diff)
                w.put(*tables[t, 0][s])
                if s:
                    w.put(diff if diff > 0 else diff + (1 << s) - 1, s)
                run = 0
                last = max([k for k in range(1, 64) if b[k] != 0], default=0)
                for k in range(1, last + 1):
                    if b[k] == 0:
                        run += 1
                        continue
                    while run > 15:
                        w.put(*tables[t, 1][0xF0])
                        run -= 16
                    s = category(b[k])
                    w.put(*tables[t, 1][(run << 4) | s])
                    w.put(int(b[k]) if b[k] > 0 else int(b[k]) + (1 << s) - 1, s)
                    run = 0
                if last < 63:
                    w.put(*tables[t, 1][0])
        w.flush()
        stream += w.out
    return bytes(stream + b'\xff\xd9')


def reference(name, stream, rows, cols, samples, photometric):
    """Wraps the stream in a DICOM file and keeps dcmdjpeg's samples as the expected output."""
    ds = Dataset()
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = '1.2.840.10008.5.1.4.1.1.7'
    meta.MediaStorageSOPInstanceUID = generate_uid()
    meta.TransferSyntaxUID = '1.2.840.10008.1.2.4.51'
    ds.file_meta = meta
    ds.SOPClassUID = meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.PatientName = 'Phantom^Synthetic'
    ds.Rows, ds.Columns, ds.SamplesPerPixel = rows, cols, samples
    ds.PhotometricInterpretation = photometric
    if samples > 1:
        ds.PlanarConfiguration = 0
    ds.BitsAllocated, ds.BitsStored, ds.HighBit, ds.PixelRepresentation = 16, 12, 11, 0
    ds.PixelData = encapsulate([stream])
    ds['PixelData'].is_undefined_length = True
    ds.is_little_endian, ds.is_implicit_VR = True, False
    ds.save_as('/tmp/' + name + '.dcm', write_like_original=False)
    subprocess.run(['dcmdjpeg', '/tmp/' + name + '.dcm', '/tmp/' + name + '_d.dcm'], check=True)
    open(name + '.jpg', 'wb').write(stream)
    open(name + '.raw', 'wb').write(pydicom.dcmread('/tmp/' + name + '_d.dcm').PixelData)


def main():
    rng = np.random.default_rng(7)
    y, x = np.mgrid[0:45, 0:61].astype(float)
    grey = np.clip(2048 + 1500 * np.sin(x / 6) * np.cos(y / 9) + 80 * rng.standard_normal(x.shape), 0, 4095)
    grey[10:20, 30:50] = 4095
    # 16-bit quantizers, several above 255 (T.81 B.2.4.1, Pq = 1).
    q16 = np.array([8 + 40 * (k // 8 + k % 8) for k in range(64)])
    reference('grey12_restart5', encode([grey], 12, [(1, 1)], [q16, q16], 5, True), 45, 61, 1, 'MONOCHROME2')

    red = np.clip(2000 + 1800 * np.sin(x / 7), 0, 4095)
    green = np.clip(2000 + 1800 * np.cos(y / 5), 0, 4095)
    blue = np.clip(x * 60 + y * 20, 0, 4095)
    lum = 0.299 * red + 0.587 * green + 0.114 * blue
    cb = 2048 + (blue - lum) / 1.772
    cr = 2048 + (red - lum) / 1.402
    q8 = np.array([4 + 3 * (k // 8 + k % 8) for k in range(64)])
    planes = [np.clip(p, 0, 4095) for p in (lum, cb, cr)]
    reference('colour12_scans_restart3', encode(planes, 12, [(2, 2), (1, 1), (1, 1)], [q8, q8], 3, False),
              45, 61, 3, 'YBR_FULL')


if __name__ == '__main__':
    main()
