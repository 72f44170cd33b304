// The simulation's two chance charts and the force finder's chart, drawn by
// Chart.js from the engine's figures.
import {
  Chart,
  Filler,
  LinearScale,
  LineController,
  LineElement,
  PointElement,
  ScatterController,
  Title,
  Tooltip,
  Legend,
} from 'chart.js';
import type { Trial } from '../../engine/api.js';

Chart.register(LineController, ScatterController, LineElement, PointElement, LinearScale, Filler, Title, Tooltip, Legend);

export const SIDE_COLOURS = ['#2f6fb0', '#b0452f'];

type Point = { x: number; y: number };

// A round top for the units axis: 1, 2 or 5 times a power of ten per step,
// at most five steps.
function unitsTop(largest: number): { top: number; step: number } {
  for (let scale = 1; ; scale *= 10)
    for (const m of [1, 2, 5]) {
      const step = m * scale;
      const top = Math.max(1, Math.ceil(largest / step)) * step;
      if (top / step <= 5) return { top, step };
    }
}

/**
 * The curve of one side: for each number of units, the share of battles in
 * which at least that many were left; at the left edge, the battles won.
 */
export function chanceCurve(totalLeft: number[], armySize: number): { points: Point[]; top: number; step: number } {
  const left = [...totalLeft].sort((a, b) => a - b);
  const runs = Math.max(1, left.length);
  const { top, step } = unitsTop(Math.max(armySize, left.length ? left[left.length - 1] : 0));
  const points: Point[] = [];
  let x = 0;
  let i = left.findIndex((value) => value > 0);
  if (i < 0) i = left.length;
  while (i < left.length) {
    const value = left[i];
    const share = (100 * (left.length - i)) / runs;
    points.push({ x, y: share }, { x: value, y: share });
    x = value;
    while (i < left.length && left[i] === value) ++i;
  }
  points.push({ x, y: 0 }, { x: top, y: 0 });
  return { points, top, step };
}

const charts = new Map<HTMLCanvasElement, Chart>();

function replace(canvas: HTMLCanvasElement, make: () => Chart) {
  charts.get(canvas)?.destroy();
  charts.set(canvas, make());
}

export function drawChanceChart(canvas: HTMLCanvasElement, side: number, title: string, totalLeft: number[], armySize: number) {
  const { points, top, step } = chanceCurve(totalLeft, armySize);
  const colour = SIDE_COLOURS[side];
  canvas.setAttribute('aria-label', `${title}: the share of battles with at least so many units left`);
  replace(
    canvas,
    () =>
      new Chart(canvas, {
        type: 'line',
        data: {
          datasets: [
            {
              data: points,
              borderColor: colour,
              backgroundColor: `${colour}66`,
              fill: 'origin',
              pointRadius: 0,
              borderWidth: 2,
              tension: 0,
            },
          ],
        },
        options: {
          animation: false,
          maintainAspectRatio: false,
          parsing: false,
          plugins: {
            title: { display: true, text: title, font: { weight: 'bold' } },
            legend: { display: false },
            tooltip: { enabled: false },
          },
          scales: {
            x: {
              type: 'linear',
              min: 0,
              max: top,
              ticks: { stepSize: step, precision: 0 },
              title: { display: true, text: 'At least this many units left' },
            },
            y: {
              min: 0,
              max: 100,
              ticks: { stepSize: 50, callback: (value) => `${value}%` },
              title: { display: true, text: 'Battles' },
            },
          },
        },
      }),
  );
}

export function drawForceChart(canvas: HTMLCanvasElement, title: string, trials: Trial[], target: number) {
  const sorted = [...trials].sort((a, b) => a.number - b.number);
  const at = (key: 'chance' | 'low' | 'high') => sorted.map((t) => ({ x: t.number, y: 100 * t[key] }));
  const ends = sorted.length ? [sorted[0].number, sorted[sorted.length - 1].number] : [0, 1];
  canvas.setAttribute('aria-label', `${title}: the win chance of each number tried, with its 95% interval`);
  replace(
    canvas,
    () =>
      new Chart(canvas, {
        type: 'scatter',
        data: {
          datasets: [
            { label: '95% interval', data: at('high'), showLine: true, borderColor: '#9ab', pointRadius: 0, borderWidth: 1, fill: '+1', backgroundColor: '#9ab4' },
            { label: '95% interval, low', data: at('low'), showLine: true, borderColor: '#9ab', pointRadius: 0, borderWidth: 1 },
            { label: 'Win chance', data: at('chance'), showLine: true, borderColor: SIDE_COLOURS[0], backgroundColor: SIDE_COLOURS[0], pointRadius: 3 },
            {
              label: 'Wanted',
              data: [
                { x: ends[0], y: 100 * target },
                { x: ends[1], y: 100 * target },
              ],
              showLine: true,
              borderColor: '#2a2',
              borderDash: [6, 4],
              pointRadius: 0,
              borderWidth: 1,
            },
          ],
        },
        options: {
          animation: false,
          maintainAspectRatio: false,
          parsing: false,
          plugins: {
            title: { display: true, text: title, font: { weight: 'bold' } },
            legend: { display: true, labels: { filter: (item) => !String(item.text).endsWith('low') } },
          },
          scales: {
            x: { type: 'linear', ticks: { precision: 0 }, title: { display: true, text: 'Units' } },
            y: { min: 0, max: 100, ticks: { callback: (value) => `${value}%` }, title: { display: true, text: 'Battles won' } },
          },
        },
      }),
  );
}
