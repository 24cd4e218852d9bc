"""One rescale by a mainstream library, timed in-process with one thread:
read the BMP, resize bilinearly to WIDTH x HEIGHT, write a BMP.

    scale_peer.py opencv|pillow IN OUT WIDTH HEIGHT

Prints the seconds taken (imports and start-up left out)."""
import sys
import time


def main():
    tool, src, dst, width, height = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
    if tool == "opencv":
        import cv2
        cv2.setNumThreads(1)
        start = time.perf_counter()
        image = cv2.imread(src, cv2.IMREAD_COLOR)
        scaled = cv2.resize(image, (width, height), interpolation=cv2.INTER_LINEAR)
        if not cv2.imwrite(dst, scaled):
            return 1
    else:
        from PIL import Image
        Image.MAX_IMAGE_PIXELS = None
        start = time.perf_counter()
        with Image.open(src) as image:
            picture = image.convert("RGB")
        picture.resize((width, height), Image.BILINEAR).save(dst, format="BMP")
    print(f"{time.perf_counter() - start:.6f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
