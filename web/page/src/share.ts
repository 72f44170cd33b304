// Both armies in an address's fragment: the army file's text, compressed
// and written in base64url, so a battle fits into a link a player can send.

const PREFIX = 'armies=';

function toBase64Url(bytes: Uint8Array): string {
  let binary = '';
  for (let i = 0; i < bytes.length; i += 0x8000) binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64Url(text: string): Uint8Array | null {
  if (!/^[A-Za-z0-9_-]*$/.test(text)) return null;
  const padded = text.replace(/-/g, '+').replace(/_/g, '/') + '==='.slice((text.length + 3) % 4);
  try {
    const binary = atob(padded);
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes;
  } catch {
    return null;
  }
}

async function collect(stream: ReadableStream<Uint8Array>, limit: number): Promise<Uint8Array> {
  const reader = stream.getReader();
  const chunks: Uint8Array[] = [];
  let total = 0;
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    chunks.push(value);
    total += value.length;
    // A small link may unpack into a huge text: stop once it is too large
    // for an army file anyway, and let the file reader say so.
    if (total > limit) {
      await reader.cancel().catch(() => {});
      break;
    }
  }
  const out = new Uint8Array(Math.min(total, limit + 1));
  let at = 0;
  for (const chunk of chunks) {
    const part = chunk.subarray(0, out.length - at);
    out.set(part, at);
    at += part.length;
    if (at >= out.length) break;
  }
  return out;
}

/** The fragment (with its #) that holds this army file text. */
export async function fragmentFor(fileText: string): Promise<string> {
  const packed = new Blob([fileText]).stream().pipeThrough(new CompressionStream('deflate-raw'));
  return `#${PREFIX}${toBase64Url(await collect(packed, Number.MAX_SAFE_INTEGER))}`;
}

/** Whether an address's fragment claims to hold armies. */
export function holdsArmies(hash: string): boolean {
  return hash.startsWith(`#${PREFIX}`);
}

/**
 * The army file bytes a fragment holds, at most limit + 1 of them, or why
 * it holds none.
 */
export async function bytesOfFragment(hash: string, limit: number): Promise<{ bytes: Uint8Array } | { error: string }> {
  const encoded = hash.slice(PREFIX.length + 1);
  // Packed, a file is shorter than unpacked: a longer link holds none.
  if (encoded.length > limit) return { error: 'the link is too long to hold an army file' };
  const packed = fromBase64Url(encoded);
  if (!packed || packed.length === 0) return { error: 'the link is damaged: its armies are not readable' };
  try {
    const stream = new Blob([packed as BlobPart]).stream().pipeThrough(new DecompressionStream('deflate-raw'));
    return { bytes: await collect(stream, limit) };
  } catch {
    return { error: 'the link is damaged: its armies are not readable' };
  }
}
